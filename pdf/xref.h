#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

class PdfDiccionario;
class PdfStream;

// One entry of cross-reference data, classic or stream.
struct XRefEntry {
  enum Type : uint8_t { kFree = 0, kInUse = 1, kCompressed = 2 };
  int64_t number = 0;
  uint64_t location = 0;  // kInUse: byte offset; kCompressed: object stream number
  uint32_t generation = 0;
  int32_t index = -1;  // kCompressed: index within the object stream
  Type type = kFree;
};

// One record of cross-reference data: a classic subsection (with the
// trailer on the last subsection of its section) or a whole cross-reference
// stream (its dictionary plays the trailer's part). Records are kept newest
// section first; lookups take the first match in that order.
class XRef {
 public:
  XRef();
  ~XRef();

  // Reads `count` classic entries numbered from `first`. Each entry is its 18
  // bytes of fields followed by whatever end of line the producer wrote (one
  // or two bytes; some write 19-byte rows), so rows never go out of step.
  void Read(PdfStream& s);

  // The in-use entry for number and generation, if this record holds one.
  bool Find(int64_t number, uint32_t generation, uint64_t* location, int32_t* index) const;

  // Entry i (from 0): false past the last one.
  bool GetEntry(size_t i, int64_t* number, uint32_t* generation, uint64_t* location, int32_t* index, bool* free) const;

  int64_t first = 0;
  int64_t count = 0;
  // Which section along the "/Prev" chain this record belongs to: 0 for the
  // newest; a hybrid file's stream shares its table's section.
  int section = 0;
  PdfDiccionario* trailer = nullptr;     // classic trailer; owned by the parser
  PdfDiccionario* streamDict = nullptr;  // cross-reference stream dictionary
  std::vector<XRefEntry> entries;
};
