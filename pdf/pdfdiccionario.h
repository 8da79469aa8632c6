#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "pdf/pdfvalue.h"

class PdfKeyValuePair;

// A dictionary: entries kept in ascending byte order of their keys, which is
// also the order in which the writer writes them. The first entry inserted
// for a key wins; later duplicates are ignored.
//
// A dictionary that heads a stream also records where the stream's raw data
// begins in the input file (stream_offset); the data itself is never held
// here except the decoded bytes of an object stream, cached by the first
// reader that decodes it.
class PdfDiccionario : public PdfValue {
 public:
  PdfDiccionario();
  ~PdfDiccionario() override;

  void Print(int indent) override;
  // Inserts a PdfKeyValuePair; anything else throws
  // "PdfDiccionario::InsertValue:no PdfKeyValuePair".
  void InsertValue(PdfValue* v) override;
  void Reuse() override;

  // The value for key (with its "/"), resolved one level when asked; null
  // when the key is absent or its value is the null object.
  PdfValue* GetValue(const std::string& key, bool resolve);
  // The value or key of the index-th entry in key order.
  PdfValue* GetValue(int64_t index, bool resolve);
  std::string GetKey(int64_t index);
  int64_t GetSize() const { return static_cast<int64_t>(pairs.size()); }

  bool IsStream() const { return stream_offset >= 0; }

  std::vector<PdfKeyValuePair*> pairs;  // sorted by key
  // Offset in the input file of the stream's first data byte; -1 when this
  // dictionary heads no stream.
  int64_t stream_offset = -1;
  // Decoded data of an object stream, filled once by its first extraction.
  std::vector<uint8_t> stream_data;
  bool stream_decoded = false;
  bool stream_decoding = false;  // set while decoding, to catch self-reference

 private:
  PdfKeyValuePair* Find(const std::string& key) const;
};
