// Cross-reference reading of PdfFileParser.
#include "pdf/pdfcrossreferencereader.h"

#include <algorithm>
#include <cstring>

#include "base/kelvraruntimeerror.h"
#include "pdf/pdfarray.h"
#include "pdf/pdfcompressedstream.h"
#include "pdf/pdfdiccionario.h"
#include "pdf/pdffileparser.h"
#include "pdf/pdfkeyvaluepair.h"
#include "base/pdflimits.h"

namespace {

const void* FindLast(const uint8_t* hay, size_t n, const char* needle) {
  const size_t m = std::strlen(needle);
  if (m > n) return nullptr;
  for (size_t i = n - m + 1; i-- > 0;) {
    if (std::memcmp(hay + i, needle, m) == 0) return hay + i;
  }
  return nullptr;
}

bool IsDigits(const std::string& t) {
  return !t.empty() && std::all_of(t.begin(), t.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A "/W" width or "/Index" number: a non-negative integer object.
int64_t NonNegative(PdfValue* v, const ErrorCatalogue::Entry& message) {
  if (v == nullptr || v->native_type != NATIVE_NUMBER || !IsDigits(v->text)) throw _kelvra_runtime_error(message);
  return StringToInt64(v->text);
}

uint64_t ParseBytes(const uint8_t* p, int width) {
  uint64_t v = 0;
  for (int i = 0; i < width; ++i) v = (v << 8) | p[i];
  return v;
}

}  // namespace
int64_t PdfCrossReferenceReader::LeerStartAddress(PdfStream& s) {
  // The tail window: "startxref", its offset and "%%EOF" must lie in it. The
  // last "startxref" in the window is the one that counts. White space and
  // NUL padding after the end of the file's text (some producers pad files
  // to a block size) is not counted against the window.
  s.Seek(0, 3);
  int64_t end = s.Tell();
  {
    uint8_t chunk[4096];
    bool found = false;
    while (end > 0 && !found) {
      const int64_t n = std::min<int64_t>(end, static_cast<int64_t>(sizeof chunk));
      s.Seek(end - n, 1);
      s.Leer(chunk, static_cast<size_t>(n));
      int64_t i = n;
      while (i > 0 && PdfParser::IsWhitespace(chunk[i - 1])) --i;
      found = i > 0;
      end -= n - i;
    }
  }
  const int64_t window_start = std::max<int64_t>(0, end - static_cast<int64_t>(pdflimits::kTailWindowBytes));
  const size_t window = static_cast<size_t>(end - window_start);
  std::vector<uint8_t> tail(window);
  s.Seek(window_start, 1);
  s.Leer(tail.data(), window);
  if (FindLast(tail.data(), window, "%%EOF") == nullptr) throw _kelvra_runtime_error(errtext::kNoEof);
  const auto* sx = static_cast<const uint8_t*>(FindLast(tail.data(), window, "startxref"));
  if (sx == nullptr) throw _kelvra_runtime_error(errtext::kNoStartxref);
  const uint8_t* p = sx + 9;
  const uint8_t* stop = tail.data() + window;
  while (p < stop && PdfParser::IsWhitespace(*p)) ++p;
  std::string number;
  while (p < stop && !PdfParser::IsWhitespace(*p)) number.push_back(static_cast<char>(*p++));
  return StringToInt64(number);
}

void PdfCrossReferenceReader::ParseCrossReference(int64_t offset, PdfStream& s) {
  // Sections are read one after another along "/Prev", newest first. A
  // section offset already read ends the walk with an error: a "/Prev" loop
  // would otherwise never end.
  while (offset >= 0) {
    if (offset >= parser_.file_size_) throw _kelvra_runtime_error(errtext::kCrossReference);
    if (!sections_read_.insert(offset).second) throw _kelvra_runtime_error(errtext::kPrevLoop);
    s.Seek(offset, 1);
    const std::string token = parser_.NextToken(s);
    int64_t prev = -1;
    if (token == "xref") {
      LeerCrossReferenceTable(offset, s, &prev);
    } else if (IsDigits(token)) {
      LeerCrossReferenceStream(offset, s, &prev);
    } else {
      throw _kelvra_runtime_error(errtext::kCrossReference);
    }
    offset = prev;
    ++section_;
  }
}

void PdfCrossReferenceReader::LeerCrossReferenceTable(int64_t offset, PdfStream& s, int64_t* prev) {
  s.Seek(offset, 1);
  std::string token = parser_.NextToken(s);
  if (token == "xref") token = parser_.NextToken(s);
  XRef* last = nullptr;
  // One record per subsection, until the keyword "trailer".
  while (token != "trailer") {
    if (!IsDigits(token)) throw _kelvra_runtime_error(errtext::kTableNoTrailer);
    const std::string count_token = parser_.NextToken(s);
    if (!IsDigits(count_token)) throw _kelvra_runtime_error(errtext::kTableNoTrailer);
    auto record = std::make_unique<XRef>();
    record->first = StringToInt64(token);
    record->count = StringToInt64(count_token);
    if (record->first > pdflimits::kMaxObjectNumber || record->count > pdflimits::kMaxObjectNumber - record->first)
      throw _kelvra_runtime_error(errtext::kTableObjectNumber);
    // No more rows than the rest of the file can hold (18 bytes each at least).
    if (record->count > (parser_.file_size_ - s.Tell()) / 18 + 1) throw _kelvra_runtime_error(errtext::kFileRead);
    CountXRefEntries(static_cast<uint64_t>(record->count));
    parser_.SkipWhitespace(s);
    record->Read(s);
    // A common producer fault: the first subsection says it starts at 1 but
    // begins with object 0's free row, so every row is off by one.
    if (record->first == 1 && !record->entries.empty() && record->entries[0].type == XRefEntry::kFree &&
        record->entries[0].generation == 65535 && record->entries[0].location == 0) {
      record->first = 0;
      for (XRefEntry& e : record->entries) --e.number;
    }
    last = record.get();
    record->section = section_;
    parser_.xrefList.push_back(std::move(record));
    token = parser_.NextToken(s);
  }
  if (parser_.NextToken(s) != "<<") throw _kelvra_runtime_error(errtext::kTrailerToken);
  PdfDiccionario* trailer = parser_.NewDictionary();
  parser_.ParseDictEntries(trailer, s);
  if (last == nullptr) {
    // A section without subsections still carries its trailer.
    parser_.xrefList.push_back(std::make_unique<XRef>());
    last = parser_.xrefList.back().get();
    last->section = section_;
  }
  last->trailer = trailer;
  parser_.decryption_.RefuseEncrypted(trailer);
  // A hybrid file's cross-reference stream lists what the table leaves out
  // (typically the objects in object streams). Its entries rank after the
  // table's own and before the older sections.
  if (PdfValue* xrefstm = trailer->GetValue("/XRefStm", false)) {
    const int64_t at = StringToInt64(xrefstm->text);
    if (at <= 0 || at >= parser_.file_size_) throw _kelvra_runtime_error(errtext::kCrossReference);
    if (!sections_read_.insert(at).second) throw _kelvra_runtime_error(errtext::kPrevLoop);
    int64_t ignored_prev = -1;
    LeerCrossReferenceStream(at, s, &ignored_prev);
  }
  if (PdfValue* p = trailer->GetValue("/Prev", false)) *prev = StringToInt64(p->text);
}

void PdfCrossReferenceReader::LeerCrossReferenceStream(int64_t offset, PdfStream& s, int64_t* prev) {
  s.Seek(offset, 1);
  PdfKeyValuePair holder;
  int64_t number = 0, generation = 0;
  parser_.ParseDiccionario(holder, s, &number, &generation);
  PdfValue* v = holder.value;
  if (v == nullptr || v->kind() != PdfValue::Kind::Dictionary) throw _kelvra_runtime_error(errtext::kXRefStream);
  auto* d = static_cast<PdfDiccionario*>(v);
  // The dictionary serves only as this section's trailer and stays out of
  // the object cache: a newer section may give its number to another object
  // (or to its own cross-reference stream), and a fetch of that number must
  // find that object.
  parser_.OlvidarObjetoEnCache(number, generation, d);
  auto record = std::make_unique<XRef>();
  record->streamDict = d;
  record->section = section_;
  XRef* rec = record.get();
  parser_.xrefList.push_back(std::move(record));
  xref_stream_sections_.try_emplace(number, section_);
  parser_.decryption_.RefuseEncrypted(d);
  PdfValue* type = d->GetValue("/Type", true);
  if (type == nullptr || type->text != "/XRef" || !d->IsStream()) throw _kelvra_runtime_error(errtext::kXRefStream);

  PdfValue* wv = d->GetValue("/W", true);
  if (wv == nullptr) throw _kelvra_runtime_error(errtext::kXRefStreamNoW);
  if (wv->kind() != PdfValue::Kind::Array || static_cast<PdfArray*>(wv)->GetSize() != 3)
    throw _kelvra_runtime_error(errtext::kXRefStreamW);
  auto* w = static_cast<PdfArray*>(wv);
  int widths[3];
  for (int i = 0; i < 3; ++i) {
    const int64_t width = NonNegative(w->GetValue(i, true), errtext::kXRefStreamWidth);
    // Field 1 may be absent (every entry in use); field 2 must be present;
    // field 3 may be absent (generation or index 0). Up to 8 bytes each, so
    // offsets beyond 4 GiB can be read.
    if (width > (i == 0 ? 4 : 8) || (i == 1 && width == 0)) throw _kelvra_runtime_error(errtext::kXRefStreamWidth);
    widths[i] = static_cast<int>(width);
  }
  const size_t entry_length = static_cast<size_t>(widths[0] + widths[1] + widths[2]);

  // The subsections: "/Index" pairs, or [0 /Size].
  std::vector<std::pair<int64_t, int64_t>> ranges;
  PdfValue* iv = d->GetValue("/Index", true);
  if (iv != nullptr && iv->kind() == PdfValue::Kind::Array) {
    auto* index = static_cast<PdfArray*>(iv);
    for (int64_t i = 0; i < index->GetSize(); i += 2) {
      const int64_t start = NonNegative(index->GetValue(i, true), errtext::kXRefStreamIndex);
      const int64_t n = NonNegative(index->GetValue(i + 1, true), errtext::kXRefStreamIndex);
      ranges.emplace_back(start, n);
    }
  } else {
    PdfValue* size = d->GetValue("/Size", true);
    if (size == nullptr) throw _kelvra_runtime_error(errtext::kXRefStreamNoSize);
    ranges.emplace_back(0, NonNegative(size, errtext::kXRefStreamNoSize));
  }

  std::vector<uint8_t> data;
  PdfCompressedStream::Decompress(d, s, data);
  // Every entry the subsections announce must be present in the data.
  uint64_t total = 0;
  for (const auto& r : ranges) {
    if (r.first > pdflimits::kMaxObjectNumber || r.second > pdflimits::kMaxObjectNumber - r.first)
      throw _kelvra_runtime_error(errtext::kXRefStreamIndex);
    total += static_cast<uint64_t>(r.second);
  }
  if (entry_length == 0 ? total != 0 : total > data.size() / entry_length)
    throw _kelvra_runtime_error(errtext::kXRefStreamW);

  CountXRefEntries(total);
  rec->entries.reserve(static_cast<size_t>(total));
  const uint8_t* p = data.data();
  for (const auto& r : ranges) {
    for (int64_t num = r.first; num < r.first + r.second; ++num, p += entry_length) {
      const uint64_t kind = widths[0] == 0 ? 1 : ParseBytes(p, widths[0]);
      const uint64_t f2 = ParseBytes(p + widths[0], widths[1]);
      const uint64_t f3 = ParseBytes(p + widths[0] + widths[1], widths[2]);
      XRefEntry e;
      e.number = num;
      if (kind == 0) {
        continue;  // free: nothing to find here
      } else if (kind == 1) {
        if (f3 > UINT32_MAX) throw _kelvra_runtime_error(errtext::kXRefStreamFormat);
        e.type = XRefEntry::kInUse;
        e.location = f2;
        e.generation = static_cast<uint32_t>(f3);
      } else if (kind == 2) {
        // The object stream is named by its object number, which no valid
        // number exceeds (read as a signed number, a larger one would be
        // negative).
        if (f3 > INT32_MAX || f2 > static_cast<uint64_t>(pdflimits::kMaxObjectNumber))
          throw _kelvra_runtime_error(errtext::kXRefStreamFormat);
        e.type = XRefEntry::kCompressed;
        e.location = f2;
        e.index = static_cast<int32_t>(f3);
      } else {
        throw _kelvra_runtime_error(errtext::kXRefStreamFormat);
      }
      rec->entries.push_back(e);
    }
  }
  if (PdfValue* pv = d->GetValue("/Prev", true)) *prev = StringToInt64(pv->text);
}

void PdfCrossReferenceReader::CountXRefEntries(uint64_t n) {
  // One-byte entries of a decoded stream, or rows of a large file, would
  // otherwise fill memory with records (32 bytes each) of objects that are
  // not there. Each subsection or stream also costs a record of its own,
  // about four entries' worth, so that millions of empty subsections ("0 0")
  // count too.
  n += 4;
  if (n > pdflimits::kMaxXRefEntries - xref_entries_) throw _kelvra_runtime_error(errtext::kCrossReferenceLimit);
  xref_entries_ += n;
}
