#pragma once
// PDF files built in memory exactly as asked, a parsed document, an error catcher, a reader of written output.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "base/kelvraruntimeerror.h"
#include "pdf/pdffileparser.h"
#include "base/pdffilestream.h"
#include "base/pdfmemorystream.h"
#include "writer/pdffilewriter.h"
#include "base/pdfsyntaxformatter.h"

namespace pdftest {

// A cross-reference row: type 0 free, 1 in use, 2 compressed; f2 offset or object stream, f3 generation or index.
struct Row {
  int type;
  uint64_t f2, f3;
};
inline Row Free(uint64_t next = 0, uint64_t gen = 65535) { return {0, next, gen}; }
inline Row Compressed(uint64_t objstm, uint64_t index) { return {2, objstm, index}; }

// A row with its number, for Table and XRefStreamOf; an in-use row points at the object as last written.
struct Entry {
  int64_t number;
  Row row;
};
inline Entry InUse(int64_t n, uint32_t gen = 0) { return {n, {1, UINT64_MAX, gen}}; }
inline Entry FreeAt(int64_t n, uint32_t gen = 0) { return {n, {0, 0, gen}}; }
inline Entry InStm(int64_t n, uint64_t stm, uint32_t index) { return {n, {2, stm, index}}; }

// data deflated by zlib (level 1: fast, and bombs of zeros stay small).
inline std::string Deflate(const std::string& data) {
  uLongf n = compressBound(static_cast<uLong>(data.size()));
  std::string out(n, '\0');
  compress2(reinterpret_cast<Bytef*>(&out[0]), &n, reinterpret_cast<const Bytef*>(data.data()),
            static_cast<uLong>(data.size()), 1);
  out.resize(n);
  return out;
}

struct PdfBuilder {
  explicit PdfBuilder(std::string header = "%PDF-1.7\n") : out(std::move(header)) {}

  // "num gen obj", the body, "endobj"; each of these returns the offset.
  int64_t Obj(int64_t num, const std::string& body, uint32_t gen = 0) {
    const int64_t at = Pos();
    offsets[num] = at;
    out += std::to_string(num) + " " + std::to_string(gen) + " obj\n" + body + "\nendobj\n";
    return at;
  }

  // /Length is `length` as written, or the data's length unless entries give one.
  int64_t Stream(int64_t num, const std::string& entries, const std::string& data, std::string length = "") {
    if (length.empty() && entries.find("/Length") == std::string::npos) length = std::to_string(data.size());
    return Obj(num,
               "<<" + entries + (length.empty() ? "" : " /Length " + length) + ">>\nstream\n" + data + "\nendstream");
  }

  // An object stream holding (number, body) pairs in order, deflated if flate.
  int64_t ObjStm(int64_t num, const std::vector<std::pair<int64_t, std::string>>& objects,
                 const std::string& entries = "", bool flate = false) {
    std::string header, bodies;
    for (const auto& o : objects) {
      header += std::to_string(o.first) + " " + std::to_string(bodies.size()) + " ";
      bodies += o.second + "\n";
    }
    return Stream(num,
                  "/Type/ObjStm /N " + std::to_string(objects.size()) + " /First " + std::to_string(header.size()) +
                      entries + (flate ? " /Filter/FlateDecode" : ""),
                  flate ? Deflate(header + bodies) : header + bodies);
  }

  // The in-use row of an object written before, or of the one written next; object 0 free, then 1..last.
  Row At(int64_t num, uint64_t gen = 0) const { return {1, static_cast<uint64_t>(offsets.at(num)), gen}; }
  Row Here() const { return {1, static_cast<uint64_t>(Pos()), 0}; }
  std::vector<Row> Rows(int last) const {
    std::vector<Row> rows{Free()};
    for (int n = 1; n <= last; ++n) rows.push_back(At(n));
    return rows;
  }

  using Subsection = std::pair<int64_t, std::vector<Row>>;  // first number, rows

  // "xref", the subsections with each row ended by eol, "trailer" and the entries.
  int64_t Classic(const std::vector<Subsection>& subsections, const std::string& trailer,
                  const std::string& eol = " \n") {
    const int64_t at = Pos();
    out += "xref\n";
    for (const auto& sub : subsections) {
      out += std::to_string(sub.first) + " " + std::to_string(sub.second.size()) + "\n";
      for (const Row& r : sub.second) {
        char row[40];
        std::snprintf(row, sizeof row, "%010llu %05llu %c", static_cast<unsigned long long>(r.f2),
                      static_cast<unsigned long long>(r.f3), r.type == 0 ? 'f' : 'n');
        out += row + eol;
      }
    }
    out += "trailer\n<<" + trailer + ">>\n";
    return at;
  }

  // A classic section with one subsection per run of consecutive numbers.
  int64_t Table(const std::vector<Entry>& entries, const std::string& trailer) {
    std::vector<Subsection> subsections;
    for (const Entry& e : entries) {
      if (subsections.empty() ||
          subsections.back().first + static_cast<int64_t>(subsections.back().second.size()) != e.number)
        subsections.push_back({e.number, {}});
      subsections.back().second.push_back(Resolve(e));
    }
    return Classic(subsections, " " + trailer + " ");
  }

  // The rows packed big-endian in the widths w, unfiltered; entries add /Size, /Index, ...
  int64_t XRefStream(int64_t num, const std::vector<Row>& rows, std::array<int, 3> w, const std::string& entries) {
    std::string data;
    for (const Row& r : rows) {
      const uint64_t fields[3] = {static_cast<uint64_t>(r.type), r.f2, r.f3};
      for (int i = 0; i < 3; ++i) {
        for (int b = w[i] - 1; b >= 0; --b)
          data.push_back(static_cast<char>(b >= 8 ? 0 : (fields[i] >> (8 * b)) & 0xFF));
      }
    }
    return Stream(num,
                  "/Type/XRef /W [" + std::to_string(w[0]) + " " + std::to_string(w[1]) + " " + std::to_string(w[2]) +
                      "]" + entries,
                  data);
  }

  // /W [1 4 2], one /Index pair per entry, its own entry added.
  int64_t XRefStreamOf(int64_t num, std::vector<Entry> entries, const std::string& dict) {
    entries.push_back({num, Here()});
    std::vector<Row> rows;
    std::string index;
    int64_t size = 0;
    for (const Entry& e : entries) {
      rows.push_back(Resolve(e));
      index += std::to_string(e.number) + " 1 ";
      size = std::max(size, e.number + 1);
    }
    return XRefStream(num, rows, {1, 4, 2}, " /Index [" + index + "] /Size " + std::to_string(size) + " " + dict);
  }

  int64_t Pos() const { return static_cast<int64_t>(out.size()); }
  std::string Finish(int64_t startxref) { return out += "startxref\n" + std::to_string(startxref) + "\n%%EOF\n"; }
  Row Resolve(const Entry& e) const {
    return e.row.type == 1 && e.row.f2 == UINT64_MAX ? At(e.number, e.row.f3) : e.row;
  }

  std::string out;                     // the file so far
  std::map<int64_t, int64_t> offsets;  // of each object as last written
};

// A file's bytes ("" when it cannot be read); hexadecimal digits as bytes; bytes as the crypt classes take them.
inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in) << path;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
inline std::string Unhex(const std::string& hex) { return PdfSyntaxFormatter::HexToBytes(hex); }
inline const uint8_t* U8(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }
inline uint8_t* U8(std::string& s) { return reinterpret_cast<uint8_t*>(&s[0]); }

// The library error's message, "" when f succeeds, a marker for anything else thrown.
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

// A file stream open on a temporary file of the given bytes, removed with it.
struct TempFile {
  template <class Bytes>
  explicit TempFile(const Bytes& content) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    EXPECT_EQ(std::fwrite(content.data(), 1, content.size(), f), content.size());
    std::fclose(f);
    stream.Abrir(path.c_str(), "rb");
  }
  ~TempFile() { std::remove(path.c_str()); }
  // Of this process and this object: ctest runs tests in processes of their own at once.
  std::string path = testing::TempDir() + "varnel-test-" + std::to_string(getpid()) + "-" +
                     std::to_string(reinterpret_cast<uintptr_t>(this));
  PdfFileStream stream;
};

// A document, its stream and parser.
struct Doc {
  explicit Doc(std::string b) : bytes(std::move(b)), stream(bytes.data(), bytes.size()) {}
  std::string Parse() {
    return ErrorOf([this] { parser.Parse(stream); });
  }  // the error message or ""
  PdfValue* Get(const std::string& ref) { return parser.DameObjeto(ref); }
  std::string bytes;
  PdfMemoryStream stream;
  PdfFileParser parser;
};

// One classic section: object 1 the catalog, the bodies as objects 2, 3, ...; trailer entries follow /Root.
inline std::string SimpleDocument(const std::vector<std::string>& bodies,
                                  const std::string& catalog = "<< /Type /Catalog >>",
                                  const std::string& trailer = "") {
  PdfBuilder b("%PDF-1.4\n");
  std::vector<Entry> entries{FreeAt(0, 65535), InUse(1)};
  b.Obj(1, catalog);
  for (size_t i = 0; i < bodies.size(); ++i) {
    b.Obj(static_cast<int64_t>(i + 2), bodies[i]);
    entries.push_back(InUse(static_cast<int64_t>(i + 2)));
  }
  return b.Finish(b.Table(
      entries, "/Size " + std::to_string(bodies.size() + 2) + " /Root 1 0 R" + (trailer.empty() ? "" : " " + trailer)));
}

// A stream object's body: the dictionary's entries with /Length, and the data.
inline std::string StreamBody(const std::string& entries, const std::string& data) {
  return "<<" + entries + " /Length " + std::to_string(data.size()) + ">>\nstream\n" + data + "\nendstream";
}

inline std::string Rewrite(PdfFileWriter& writer, const std::string& input) {
  PdfMemoryStream in(input.data(), input.size());
  std::ostringstream out;
  writer.WriteDocument(in, out);
  return out.str();
}

// The closing cross-reference stream of written output, found by "startxref", read by /W and /Index.
struct WrittenXRef {
  int64_t start = -1;  // the offset after "startxref"
  std::string dict;    // the dictionary lines, "<<" to ">>"
  std::map<int64_t, std::array<uint64_t, 3>> entries;

  // The value of a dictionary line "/Key value", or "".
  std::string Line(const std::string& key) const {
    const size_t at = dict.find("\n" + key + " ");
    if (at == std::string::npos) return "";
    const size_t from = at + key.size() + 2;
    return dict.substr(from, dict.find('\n', from) - from);
  }
};

// The entries of decoded cross-reference stream data by /Index pairs and /W; each number once; *used the bytes read.
inline std::map<int64_t, std::array<uint64_t, 3>> XRefEntries(const std::string& index, std::array<int, 3> w,
                                                              const std::string& raw, size_t* used) {
  std::map<int64_t, std::array<uint64_t, 3>> entries;
  std::istringstream runs(index);
  int64_t first = 0, count = 0;
  size_t& pos = *used = 0;
  while (runs >> first >> count) {
    for (int64_t num = first; num < first + count; ++num) {
      std::array<uint64_t, 3> f{};
      for (int i = 0; i < 3; ++i)
        for (int b = 0; b < w[i]; ++b) f[i] = (f[i] << 8) | static_cast<unsigned char>(raw.at(pos++));
      EXPECT_TRUE(entries.emplace(num, f).second) << "number " << num << " listed twice";
    }
  }
  return entries;
}

// zlib data inflated, at most `size` bytes expected (one more is room to see a longer result).
inline std::string Inflate(const std::string& zipped, size_t size) {
  std::string out(size + 1, '\0');
  uLongf n = static_cast<uLongf>(out.size());
  EXPECT_EQ(uncompress(reinterpret_cast<Bytef*>(&out[0]), &n, reinterpret_cast<const Bytef*>(zipped.data()),
                       static_cast<uLong>(zipped.size())),
            Z_OK);
  return out.substr(0, n);
}

inline WrittenXRef ReadXRef(const std::string& out) {
  WrittenXRef x;
  const size_t sx = out.rfind("\nstartxref\n");
  if (sx == std::string::npos) return ADD_FAILURE() << "no startxref", x;
  x.start = std::stoll(out.substr(sx + 11));
  EXPECT_EQ(out.substr(sx + 11), std::to_string(x.start) + "\n%%EOF") << "the file ends with its offset and %%EOF";
  const size_t open = out.find("<<\n", static_cast<size_t>(x.start)), close = out.find("\n>>\nstream\n", open);
  x.dict = out.substr(open, close + 4 - open);
  const size_t length = std::stoul(x.Line("/Length"));
  EXPECT_EQ(out.compare(close + 11 + length, 28, "\nendstream\nendobj\nstartxref\n"), 0);
  std::array<int, 3> w{};
  std::istringstream(x.Line("/W").substr(1)) >> w[0] >> w[1] >> w[2];
  const std::string raw = Inflate(out.substr(close + 11, length), length * 1032 + 64);  // deflate's largest ratio
  size_t used = 0;
  x.entries = XRefEntries(x.Line("/Index").substr(1, x.Line("/Index").size() - 2), w, raw, &used);
  EXPECT_EQ(used, raw.size()) << "data matches /Index and /W";
  return x;
}

// An in-use object's bytes between its "N G obj" line, where its entry must point, and "endobj".
inline std::string ObjectBody(const std::string& out, const WrittenXRef& x, int64_t number) {
  const auto it = x.entries.find(number);
  if (it == x.entries.end() || it->second[0] != 1)
    return ADD_FAILURE() << "object " << number << " has no in-use entry", "";
  const std::string head = std::to_string(number) + " " + std::to_string(it->second[2]) + " obj\n";
  const size_t at = static_cast<size_t>(it->second[1]);
  EXPECT_EQ(out.compare(at, head.size(), head), 0) << "entry of object " << number << " points at its first line";
  const size_t end = out.find("endobj\n", at);
  return out.substr(at + head.size(), end - at - head.size());
}

}  // namespace pdftest
