#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

// One entry of the written cross-reference stream.
struct PdfXRefStreamEntry {
  uint8_t type;     // 0 free, 1 in use at a byte offset, 2 held in an object stream
  uint64_t field2;  // type 1: byte offset; type 2: object stream number; type 0: as given
  uint32_t field3;  // types 0 and 1: generation; type 2: index within the object stream
};

// The entries of the cross-reference stream that ends a written file, one per
// object number, collected while the objects are written and packed at the end.
//
// The first entry added for a number stays; later ones for the same number
// are ignored. Numbers may come in any order and with gaps: the packed data
// is written in ascending number order, one /Index subsection per run of
// consecutive numbers, so that every entry stands at the place of its own
// number. Field widths grow past /W [1 4 1] only when a value needs it
// (offsets of 4 GiB and more, generations or object-stream indices above 255),
// so no value is ever cut.
//
// Entries are kept in a flat vector (24 bytes each) that is sorted once, when
// it is first read in number order, and only if they were not added in
// ascending order. Which numbers are present is kept in a bitmap over the low
// numbers, which dense documents fill, and in a hash set for numbers far
// above the count of entries (sparse or hostile numbering).
class PdfXRefStreamTable {
 public:
  PdfXRefStreamTable();
  virtual ~PdfXRefStreamTable();

  // Adds the entry for object number num unless the table already has one.
  // Throws "PdfXRefStreamTable::AddEntry:bad object number" for a number
  // outside 0 to 2^31-1, which no cross-reference stream could name.
  void AddEntry(int64_t num, uint8_t type, uint64_t field2, uint32_t field3);
  bool HasEntry(int64_t num) const;
  // Room for n entries in all, so that adding them moves nothing.
  void Reserve(size_t n) { records_.reserve(n); }
  // The entry for num, if there is one.
  bool FindEntry(int64_t num, PdfXRefStreamEntry& entry) const;

  // The smallest number, but never more than 1 (an empty table gives 1).
  int64_t GetMinObjectNumber() const;
  // The largest number, never less than 0 (an empty table gives 0).
  int64_t GetMaxObjectNumber() const;
  size_t GetCount() const { return records_.size(); }

  // Byte widths of the three fields: {1, 4, 1} unless a value needs more;
  // then field 2 takes up to 8 bytes and field 3 up to 4.
  std::array<int, 3> Widths() const;
  // The /W array, e.g. "[1 4 1]".
  std::string WidthsText() const;
  // The /Index array: a start and a count for each run of consecutive
  // numbers, e.g. "[0 4 7 2]" for objects 0-3 and 7-8; "[]" when empty.
  std::string IndexArrayText() const;

  // The packed entries in ascending number order, each made of the type
  // byte, field 2 and field 3 most significant byte first in the widths of
  // Widths(); zlib-compressed when compress is set.
  std::string BuildStreamData(bool compress) const;

 private:
  struct Record {
    uint64_t field2;
    uint32_t num;
    uint32_t field3;
    uint8_t type;
  };

  bool Seen(uint32_t num) const;
  void MarkSeen(uint32_t num);
  void SortRecords() const;

  mutable std::vector<Record> records_;
  mutable bool sorted_ = true;
  std::vector<uint64_t> seen_bits_;
  std::unordered_set<uint32_t> seen_sparse_;
  int64_t min_num_ = 0;
  int64_t max_num_ = 0;
  uint64_t max_field2_ = 0;
  uint32_t max_field3_ = 0;
};
