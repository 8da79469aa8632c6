#pragma once
#include <cstddef>
#include <cstdint>
#include <set>
#include <unordered_map>

class PdfFileParser;
class PdfStream;

// Reads a file's cross-reference data into its parser's xrefList: the
// "startxref" offset in the tail, then every section along "/Prev" (classic
// tables with their trailers, cross-reference streams, hybrid files), with
// the entries read bounded by pdflimits::kMaxXRefEntries.
class PdfCrossReferenceReader {
 public:
  explicit PdfCrossReferenceReader(PdfFileParser& parser) : parser_(parser) {}

  // The operations of the same names of PdfFileParser.
  int64_t LeerStartAddress(PdfStream& s);
  void ParseCrossReference(int64_t offset, PdfStream& s);
  void LeerCrossReferenceTable(int64_t offset, PdfStream& s, int64_t* prev);
  void LeerCrossReferenceStream(int64_t offset, PdfStream& s, int64_t* prev);
  // Adds n entries and one record to the cross-reference data read; fails
  // past the limit.
  void CountXRefEntries(uint64_t n);

  // See PdfFileParser::IsXRefStreamObject.
  bool IsXRefStreamObject(int64_t number, int section) const {
    auto it = xref_stream_sections_.find(number);
    return it != xref_stream_sections_.end() && section >= it->second;
  }
  size_t SectionCount() const { return sections_read_.size(); }
  // The section being read: the records made now are given it.
  int Section() const { return section_; }
  void SetSection(int section) { section_ = section; }
  // Forgets every section read and the entries counted.
  void Reset() {
    xref_stream_sections_.clear();
    sections_read_.clear();
    xref_entries_ = 0;
    section_ = 0;
  }

 private:
  PdfFileParser& parser_;
  std::unordered_map<int64_t, int> xref_stream_sections_;  // number -> newest section
  int section_ = 0;                                        // section being read
  std::set<int64_t> sections_read_;
  uint64_t xref_entries_ = 0;  // entries announced by the sections read
};
