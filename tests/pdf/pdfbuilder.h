#pragma once
// Builds small PDF files in memory for reader tests: objects at known
// offsets, classic cross-reference tables, cross-reference streams and object
// streams, written exactly as asked (no filters), plus a parsed-document
// holder and an error catcher.
#include <array>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "pdf/kelvraruntimeerror.h"
#include "pdf/pdffileparser.h"
#include "pdf/pdfmemorystream.h"

namespace pdftest {

// One cross-reference entry: type 0 free, 1 in use, 2 compressed; f2 is the
// offset or the object stream's number, f3 the generation or the index.
struct Row {
  int type;
  uint64_t f2;
  uint64_t f3;
};

inline Row Free(uint64_t next = 0, uint64_t gen = 65535) { return {0, next, gen}; }
inline Row Compressed(uint64_t objstm, uint64_t index) { return {2, objstm, index}; }

class PdfBuilder {
 public:
  explicit PdfBuilder(std::string header = "%PDF-1.7\n") : out_(std::move(header)) {}

  // "num gen obj", the body, "endobj". Returns the object's offset.
  int64_t Obj(int num, const std::string& body, int gen = 0) {
    const int64_t at = Pos();
    offsets_[num] = at;
    out_ += std::to_string(num) + " " + std::to_string(gen) + " obj\n" + body + "\nendobj\n";
    return at;
  }

  // A stream object; /Length is the data's length unless entries give one.
  int64_t Stream(int num, const std::string& entries, const std::string& data, int gen = 0) {
    const std::string length = entries.find("/Length") == std::string::npos ? " /Length " + std::to_string(data.size()) : "";
    return Obj(num, "<<" + entries + length + ">>\nstream\n" + data + "\nendstream", gen);
  }

  // An object stream holding (number, body) pairs in order.
  int64_t ObjStm(int num, const std::vector<std::pair<int, std::string>>& objects, const std::string& entries = "") {
    std::string header, bodies;
    for (const auto& o : objects) {
      header += std::to_string(o.first) + " " + std::to_string(bodies.size()) + " ";
      bodies += o.second + "\n";
    }
    return Stream(num,
                  "/Type/ObjStm /N " + std::to_string(objects.size()) + " /First " + std::to_string(header.size()) + entries,
                  header + bodies);
  }

  // The in-use entry of an object written before.
  Row At(int num, uint64_t gen = 0) const { return {1, static_cast<uint64_t>(offsets_.at(num)), gen}; }
  // Object 0 free, then objects 1..last in use: one subsection's rows.
  std::vector<Row> Rows(int last) const {
    std::vector<Row> rows{Free()};
    for (int n = 1; n <= last; ++n) rows.push_back(At(n));
    return rows;
  }

  using Subsection = std::pair<int, std::vector<Row>>;  // first number, rows

  // "xref", the subsections with each row ended by eol, "trailer" and the
  // entries. Returns the section's offset.
  int64_t Classic(const std::vector<Subsection>& subsections, const std::string& trailer, const std::string& eol = " \n") {
    const int64_t at = Pos();
    out_ += "xref\n";
    for (const auto& sub : subsections) {
      out_ += std::to_string(sub.first) + " " + std::to_string(sub.second.size()) + "\n";
      for (const Row& r : sub.second) {
        char row[40];
        std::snprintf(row, sizeof row, "%010llu %05llu %c", static_cast<unsigned long long>(r.f2),
                      static_cast<unsigned long long>(r.f3), r.type == 0 ? 'f' : 'n');
        out_ += row;
        out_ += eol;
      }
    }
    out_ += "trailer\n<<" + trailer + ">>\n";
    return at;
  }

  // A cross-reference stream object with the rows packed big-endian in the
  // widths w, unfiltered. entries adds to the dictionary (/Size, /Index, ...).
  int64_t XRefStream(int num, const std::vector<Row>& rows, std::array<int, 3> w, const std::string& entries) {
    std::string data;
    for (const Row& r : rows) {
      const uint64_t fields[3] = {static_cast<uint64_t>(r.type), r.f2, r.f3};
      for (int i = 0; i < 3; ++i) {
        for (int b = w[i] - 1; b >= 0; --b) data.push_back(static_cast<char>(b >= 8 ? 0 : (fields[i] >> (8 * b)) & 0xFF));
      }
    }
    return Stream(num,
                  "/Type/XRef /W [" + std::to_string(w[0]) + " " + std::to_string(w[1]) + " " + std::to_string(w[2]) + "]" +
                      entries,
                  data);
  }

  void Raw(const std::string& s) { out_ += s; }
  int64_t Pos() const { return static_cast<int64_t>(out_.size()); }
  int64_t Off(int num) const { return offsets_.at(num); }

  // Ends the file: "startxref", the offset, "%%EOF", then tail.
  std::string Finish(int64_t startxref, const std::string& tail = "") {
    out_ += "startxref\n" + std::to_string(startxref) + "\n%%EOF\n" + tail;
    return out_;
  }
  const std::string& str() const { return out_; }

 private:
  std::string out_;
  std::map<int, int64_t> offsets_;
};

// The library error's message, "" when f succeeds, and a marker for any
// other kind of exception (the library throws only its own error).
template <class F>
std::string ErrorOf(F f) {
  try {
    f();
  } catch (const _kelvra_runtime_error& e) {
    return e.message.empty() ? "<empty message>" : e.message;
  } catch (...) {
    return "<not a library error>";
  }
  return "";
}

// A document parsed from bytes held alongside its stream and parser.
struct Doc {
  explicit Doc(std::string b) : bytes(std::move(b)), stream(bytes.data(), bytes.size()) {}
  // Parses; the error message or "".
  std::string Parse() {
    return ErrorOf([this] { parser.Parse(stream); });
  }
  PdfValue* Get(const std::string& ref) { return parser.DameObjeto(ref); }

  std::string bytes;
  PdfMemoryStream stream;
  PdfFileParser parser;
};

}  // namespace pdftest
