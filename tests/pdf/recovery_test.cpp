// Repair of damaged files (PdfXRefScanner, PdfFileParser::SetRepair) and the reader's resource limits.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "pdf/pdfarray.h"
#include "pdf/pdfdiccionario.h"
#include "base/pdflimits.h"
#include "base/pdfmemorystream.h"
#include "pdf/pdfxrefscanner.h"
#include "tests/pdfbuilder.h"

namespace {

using namespace pdftest;

// The scan as text: headers "N.G@offset", trailers "T@offset", and the headers named by /XRef (x), /ObjStm (s),
// /Catalog (c).
std::string ScanText(const std::string& bytes) {
  PdfMemoryStream s(bytes.data(), bytes.size());
  const auto r = PdfXRefScanner::Scan(s, static_cast<int64_t>(bytes.size()), 100);
  std::string t = "h" + std::to_string(r.header);
  for (const auto& o : r.objects)
    t += " " + std::to_string(o.number) + "." + std::to_string(o.generation) + "@" + std::to_string(o.offset);
  for (int64_t at : r.trailers) t += " T@" + std::to_string(at);
  for (size_t i : r.xref_streams) t += " x" + std::to_string(i);
  for (size_t i : r.object_streams) t += " s" + std::to_string(i);
  for (size_t i : r.catalogs) t += " c" + std::to_string(i);
  return t;
}

TEST(XRefScanner, FindsHeadersTrailersAndNames) {
  const struct {
    std::string input, expected;
  } cases[] = {
      {"%PDF-1.4\n1 0 obj<</Type/Catalog>>endobj", "h0 1.0@9 c0"},
      {"junk%PDF-1.4 12  3\r\nobj", "h4 12.3@13"},
      {"1 0 obj 2 0 obj", "h-1 1.0@0 2.0@8"},                  // at the very start
      {"endobj3 0 obj endstream4 0 obj", "h-1 3.0@6 4.0@23"},  // no line end after endobj
      {"x1 0 obj 1 0 objx 1 0obj 10 0 endobj", "h-1"},         // not headers
      {"1 123456 obj 12345678901 0 obj", "h-1"},               // generation, number too long
      {"trailer<<>> xtrailer trailers", "h-1 T@7"},
      {"5 0 obj<</Type/XRef>> 6 0 obj<</Type /ObjStm/XRefStm 1>>", "h-1 5.0@0 6.0@22 x0 s1"},
      {"/Catalog 7 0 obj /Catalogs", "h-1 7.0@9"},  // a name before any header
  };
  for (const auto& c : cases) EXPECT_EQ(ScanText(c.input), c.expected) << c.input;
}

TEST(XRefScanner, HeadersAcrossChunkBoundaries) {
  // A header placed so that each of its bytes in turn is the last of a chunk, or the last one examined before the
  // next read (its number then lies in what the next chunk keeps of this one).
  for (size_t shift = 0; shift < 48; ++shift) {
    std::string bytes(pdflimits::kScanChunkBytes - 40 + shift, ' ');
    const size_t at = bytes.size();
    bytes += "123 45 obj trailer";
    EXPECT_EQ(ScanText(bytes), "h-1 123.45@" + std::to_string(at) + " T@" + std::to_string(at + 18)) << shift;
  }
  std::string many;  // more headers than the limit given
  for (int i = 1; i <= 101; ++i) many += std::to_string(i) + " 0 obj ";
  EXPECT_EQ(ErrorOf([&] { ScanText(many); }), "PdfXRefScanner::Scan:limit");
}

// A one-page document, damaged by damage.
std::string Damaged(const std::function<std::string(const std::string&)>& damage) {
  PdfBuilder b;
  b.Obj(1, "<</Type/Catalog/Pages 2 0 R>>");
  b.Obj(2, "<</Type/Pages/Kids[3 0 R]/Count 1>>");
  b.Obj(3, "<</Type/Page/Parent 2 0 R>>");
  b.Obj(4, "<</Producer(x)>>");
  return damage(b.Finish(b.Classic({{0, b.Rows(4)}}, "/Size 5/Root 1 0 R/Info 4 0 R")));
}

TEST(Recovery, RebuildsWhatTheScanFinds) {
  auto replace = [](std::string from, std::string to) {
    return [from, to](std::string s) { return s.replace(s.find(from), from.size(), to); };
  };
  // The error, else the trailer's /Root and whether /Info is kept.
  const struct {
    const char* name;
    std::function<std::string(const std::string&)> damage;
    std::string error, root;
    bool info;
  } cases[] = {
      {"intact", [](const std::string& s) { return s; }, "", "1 0 R", true},
      {"junk before the header", [](const std::string& s) { return "junk\n" + s; }, "", "1 0 R", true},
      {"no startxref", [](const std::string& s) { return s.substr(0, s.rfind("startxref")); }, "", "1 0 R", true},
      {"no trailer", replace("trailer", "trailex"), "", "1 0 R", false},
      {"trailer /Root wrong", replace("/Root 1 0 R", "/Root 3 0 R"), "", "1 0 R", true},
      {"truncated in object 4", [](const std::string& s) { return s.substr(0, s.find("4 0 obj") + 12); }, "", "1 0 R",
       false},
      {"no page tree", replace("2 0 obj", "2 0 obx"), "PdfFileParser::Recover:no catalog with pages", "", false},
      {"no catalog", replace("1 0 obj", "1 0 obx"), "", "5 0 R", true},  // one made for the page tree
      {"encrypted, no startxref",
       [&](const std::string& s) { return replace("startxref", "")(replace("/Size 5", "/Size 5/Encrypt 4 0 R")(s)); },
       "Encrypted", "", false},
      {"no PDF header", replace("%PDF-", "%PDX-"), "", "1 0 R", true},  // rebuilt, as qpdf and mutool do
      {"not a PDF", [&](const std::string& s) { return replace("%PDF-", "%PDX-")(replace("2 0 obj", "2 0 obx")(s)); },
       "No es archivo pdf.", "", false},  // objects, but no document in them
  };
  for (const auto& c : cases) {
    Doc doc(Damaged(c.damage));
    doc.parser.SetRepair(true);
    ASSERT_EQ(doc.Parse(), c.error) << c.name;
    if (!c.error.empty()) continue;
    EXPECT_EQ(doc.parser.RepairReport().repaired, std::string(c.name) != "intact") << c.name;
    EXPECT_EQ(doc.parser.BuscarEnTrailer("/Root", false)->text, c.root) << c.name;
    EXPECT_EQ(doc.parser.BuscarEnTrailer("/Info", false) != nullptr, c.info) << c.name;
    EXPECT_NE(doc.Get("3 0 R"), nullptr) << c.name;
  }
}

// Without cross-reference data the newest version of an object (the one later in the file) is used, and a stream
// without "endstream" ends before the line end that precedes "endobj".
TEST(Recovery, NewestVersionAndUnclosedStream) {
  for (const std::string eol : {"\r\n", "\n", "\r", ""}) {
    Doc doc(Damaged([&eol](const std::string& s) {
      return s.substr(0, s.find("xref")) + "3 0 obj\n<</Type/Page/Parent 2 0 R/New 1>>\nendobj\n" +
             "5 0 obj\n<</Length 99>>\nstream\nDATA" + eol + "endobj\n";
    }));
    doc.parser.SetRepair(true);
    ASSERT_EQ(doc.Parse(), "");
    EXPECT_NE(static_cast<PdfDiccionario*>(doc.Get("3 0 R"))->GetValue("/New", false), nullptr);
    int64_t offset = 0, length = 0;
    doc.parser.StreamExtent(static_cast<PdfDiccionario*>(doc.Get("5 0 R")), errtext::kStreamNoLength, &offset, &length);
    EXPECT_EQ(doc.bytes.substr(static_cast<size_t>(offset), static_cast<size_t>(length)), "DATA") << eol.size();
  }
}

// The reader's resource limits (base/pdflimits.h, docs/limits.md): each one stops what would grow without bound, and
// normal use below it works. (All the decoding done for one file is bounded too: the negative suite's
// bomb-many-objstm.) Here the values alive and the cross-reference entries.
TEST(ResourceLimits, ValuesAndEntries) {
  auto zeros = [](size_t n) {
    std::string body = "[";
    for (size_t i = 0; i < n; ++i) body += "0 ";
    return body + "]";
  };
  for (const size_t n : {pdflimits::kMaxValues - 100, pdflimits::kMaxValues}) {
    Doc d(SimpleDocument({zeros(n)}));
    ASSERT_EQ(d.Parse(), "");
    EXPECT_EQ(ErrorOf([&] { d.Get("2 0 R"); }), n < pdflimits::kMaxValues ? "" : "PdfFileParser::NuevoValue:limit");
  }
  for (const uint64_t size : {uint64_t{1} << 20, pdflimits::kMaxXRefEntries}) {  // one-byte entries
    PdfBuilder b;
    const std::string xref = "/Type/XRef /W [0 1 0] /Filter/FlateDecode /Size " + std::to_string(size);
    EXPECT_EQ(Doc(b.Finish(b.Stream(1, xref, Deflate(std::string(static_cast<size_t>(size), '\t'))))).Parse(),
              size < pdflimits::kMaxXRefEntries ? "" : "PdfFileParser::ParseCrossReference:limit");
  }
}

}  // namespace
