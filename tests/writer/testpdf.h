#pragma once
// In-memory PDF inputs for the writer tests, and a reader of the closing
// cross-reference stream of written output.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "pdf/pdfmemorystream.h"
#include "writer/pdffilewriter.h"

namespace testpdf {

// One cross-reference entry of an input. For 'n' a field2 of -1 means the
// offset of the object as last added to the builder.
struct Entry {
  int64_t number;
  char type;  // 'n' in use, 'f' free, 'c' compressed
  uint32_t generation = 0;
  int64_t field2 = -1;  // 'n': offset; 'c': object stream number
  uint32_t index = 0;   // 'c': index in the object stream
};
inline Entry InUse(int64_t n, uint32_t gen = 0) { return {n, 'n', gen}; }
inline Entry Free(int64_t n, uint32_t gen = 0) { return {n, 'f', gen, 0}; }
inline Entry Compressed(int64_t n, int64_t stm, uint32_t index) { return {n, 'c', 0, stm, index}; }

class PdfBuilder {
 public:
  explicit PdfBuilder(const std::string& header = "%PDF-1.4\n") : bytes(header) {}

  int64_t Object(int64_t number, const std::string& body, uint32_t generation = 0) {
    const auto at = static_cast<int64_t>(bytes.size());
    offsets_[number] = at;
    bytes += std::to_string(number) + " " + std::to_string(generation) + " obj\n" + body + "\nendobj\n";
    return at;
  }

  // A stream object; length is the /Length value as written (the true
  // length when empty).
  int64_t Stream(int64_t number, const std::string& entries, const std::string& data, std::string length = "") {
    if (length.empty()) length = std::to_string(data.size());
    return Object(number, "<< " + entries + " /Length " + length + " >>\nstream\n" + data + "\nendstream");
  }

  // An unfiltered object stream holding (number, body) pairs in this order.
  int64_t ObjectStream(int64_t number, const std::vector<std::pair<int64_t, std::string>>& objects) {
    std::string head, body;
    for (const auto& o : objects) {
      head += std::to_string(o.first) + " " + std::to_string(body.size()) + " ";
      body += o.second + "\n";
    }
    return Stream(number,
                  "/Type /ObjStm /N " + std::to_string(objects.size()) + " /First " + std::to_string(head.size()),
                  head + body);
  }

  // A classic section with one subsection per run of consecutive numbers.
  int64_t XRefTable(const std::vector<Entry>& entries, const std::string& trailer) {
    const auto at = static_cast<int64_t>(bytes.size());
    bytes += "xref\n";
    for (size_t i = 0; i < entries.size();) {
      size_t j = i + 1;
      while (j < entries.size() && entries[j].number == entries[j - 1].number + 1) ++j;
      bytes += std::to_string(entries[i].number) + " " + std::to_string(j - i) + "\n";
      for (; i < j; ++i) {
        char row[32];
        std::snprintf(row, sizeof row, "%010lld %05u %c \n", static_cast<long long>(Field2(entries[i])),
                      entries[i].generation, entries[i].type);
        bytes += row;
      }
    }
    bytes += "trailer\n<< " + trailer + " >>\n";
    return at;
  }

  // An unfiltered cross-reference stream object, /W [1 4 2], with one
  // /Index pair per entry; its own entry is added.
  int64_t XRefStream(int64_t number, std::vector<Entry> entries, const std::string& dict) {
    const auto at = static_cast<int64_t>(bytes.size());
    entries.push_back({number, 'n', 0, at});
    std::string data, index;
    int64_t size = 0;
    for (const Entry& e : entries) {
      const uint64_t f2 = static_cast<uint64_t>(Field2(e));
      const uint32_t f3 = e.type == 'c' ? e.index : e.generation;
      data += static_cast<char>(e.type == 'f' ? 0 : e.type == 'n' ? 1 : 2);
      for (int k = 3; k >= 0; --k) data += static_cast<char>(f2 >> (8 * k));
      data += static_cast<char>(f3 >> 8);
      data += static_cast<char>(f3);
      index += std::to_string(e.number) + " 1 ";
      size = std::max(size, e.number + 1);
    }
    Stream(number, "/Type /XRef /W [1 4 2] /Index [" + index + "] /Size " + std::to_string(size) + " " + dict, data);
    return at;
  }

  std::string Finish(int64_t startxref) {
    bytes += "startxref\n" + std::to_string(startxref) + "\n%%EOF\n";
    return bytes;
  }

  std::string bytes;

 private:
  int64_t Field2(const Entry& e) const { return e.type == 'n' && e.field2 < 0 ? offsets_.at(e.number) : e.field2; }
  std::map<int64_t, int64_t> offsets_;
};

// A document of one classic section: object 1 the catalog, then the given
// bodies as objects 2, 3, ...
inline std::string SimpleDocument(const std::vector<std::string>& bodies, const std::string& trailer = "") {
  PdfBuilder b;
  std::vector<Entry> entries{Free(0, 65535)};
  b.Object(1, "<< /Type /Catalog >>");
  entries.push_back(InUse(1));
  for (size_t i = 0; i < bodies.size(); ++i) {
    b.Object(static_cast<int64_t>(i + 2), bodies[i]);
    entries.push_back(InUse(static_cast<int64_t>(i + 2)));
  }
  const std::string size = std::to_string(bodies.size() + 2);
  return b.Finish(b.XRefTable(entries, "/Size " + size + " /Root 1 0 R " + trailer));
}

// Runs WriteDocument of writer over input and gives the output bytes.
inline std::string Rewrite(PdfFileWriter& writer, const std::string& input) {
  PdfMemoryStream in(input.data(), input.size());
  std::ostringstream out;
  writer.WriteDocument(in, out);
  return out.str();
}

// The closing cross-reference stream of written output, read as a PDF
// reader reads it: "startxref" gives the object, /W and /Index its entries.
struct WrittenXRef {
  int64_t start = -1;  // the offset after "startxref"
  std::string dict;    // the dictionary lines, "<<" to ">>"
  std::string raw;     // the inflated entries
  std::map<int64_t, std::array<uint64_t, 3>> entries;

  // The value of a dictionary line "/Key value", or "" when absent.
  std::string Line(const std::string& key) const {
    const size_t at = dict.find("\n" + key + " ");
    if (at == std::string::npos) return "";
    const size_t from = at + key.size() + 2;
    return dict.substr(from, dict.find('\n', from) - from);
  }
};

inline WrittenXRef ReadXRef(const std::string& out) {
  WrittenXRef x;
  const size_t sx = out.rfind("\nstartxref\n");
  if (sx == std::string::npos) {
    ADD_FAILURE() << "no startxref";
    return x;
  }
  x.start = std::stoll(out.substr(sx + 11));
  EXPECT_EQ(out.substr(sx + 11), std::to_string(x.start) + "\n%%EOF") << "the file ends with its offset and %%EOF";
  const size_t open = out.find("<<\n", static_cast<size_t>(x.start));
  const size_t close = out.find("\n>>\nstream\n", open);
  x.dict = out.substr(open, close + 4 - open);
  const size_t length = std::stoul(x.Line("/Length"));
  const std::string zipped = out.substr(close + 11, length);
  EXPECT_EQ(out.compare(close + 11 + length, 28, "\nendstream\nendobj\nstartxref\n"), 0);

  std::array<int, 3> w{};
  std::istringstream ws(x.Line("/W").substr(1));
  ws >> w[0] >> w[1] >> w[2];
  std::vector<std::pair<int64_t, int64_t>> runs;
  std::istringstream is(x.Line("/Index").substr(1));
  int64_t first = 0, count = 0, total = 0;
  while (is >> first >> count) {
    runs.emplace_back(first, count);
    total += count;
  }
  x.raw.assign(static_cast<size_t>(total * (w[0] + w[1] + w[2])) + 1, '\0');
  uLongf n = static_cast<uLongf>(x.raw.size());
  EXPECT_EQ(uncompress(reinterpret_cast<Bytef*>(&x.raw[0]), &n, reinterpret_cast<const Bytef*>(zipped.data()),
                       static_cast<uLong>(zipped.size())),
            Z_OK);
  x.raw.resize(n);
  EXPECT_EQ(x.raw.size(), static_cast<size_t>(total * (w[0] + w[1] + w[2]))) << "data matches /Index and /W";
  size_t pos = 0;
  for (const auto& r : runs) {
    for (int64_t num = r.first; num < r.first + r.second && pos < x.raw.size(); ++num) {
      std::array<uint64_t, 3> f{};
      for (int i = 0; i < 3; ++i)
        for (int b = 0; b < w[i]; ++b) f[i] = (f[i] << 8) | static_cast<unsigned char>(x.raw[pos++]);
      x.entries[num] = f;
    }
  }
  return x;
}

// The bytes of an in-use object as written, from the first byte after its
// "N G obj" line up to (not including) its "endobj" line; checks that the
// entry's offset points at that line.
inline std::string ObjectBody(const std::string& out, const WrittenXRef& x, int64_t number) {
  const auto it = x.entries.find(number);
  if (it == x.entries.end() || it->second[0] != 1) {
    ADD_FAILURE() << "object " << number << " has no in-use entry";
    return "";
  }
  const std::string head = std::to_string(number) + " " + std::to_string(it->second[2]) + " obj\n";
  const size_t at = static_cast<size_t>(it->second[1]);
  EXPECT_EQ(out.compare(at, head.size(), head), 0) << "entry of object " << number << " points at its first line";
  const size_t end = out.find("endobj\n", at);
  return out.substr(at + head.size(), end - at - head.size());
}

}  // namespace testpdf
