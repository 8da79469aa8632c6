// Repair of damaged files (PdfXRefScanner, PdfFileParser::SetRepair).
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "pdf/pdfarray.h"
#include "pdf/pdfdiccionario.h"
#include "base/pdflimits.h"
#include "pdf/pdfxrefscanner.h"
#include "tests/pdfbuilder.h"

namespace {

using namespace pdftest;

// The scan as text: headers "N.G@offset", trailers "T@offset", indexes of /XRef (x), /ObjStm (s), /Catalog (c).
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
  const std::pair<std::string, std::string> cases[] = {
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
  for (const auto& [input, expected] : cases) EXPECT_EQ(ScanText(input), expected) << input;
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

// A one-page document, and s with from replaced by to.
const std::string kOnePage =
    SimpleDocument({"<</Type/Pages/Kids[3 0 R]/Count 1>>", "<</Type/Page/Parent 2 0 R>>", "<</Producer(x)>>"},
                   "<</Type/Catalog/Pages 2 0 R>>", "/Info 4 0 R");
std::string Replaced(std::string s, const std::string& from, const std::string& to) {
  return s.replace(s.find(from), from.size(), to);
}

TEST(Recovery, RebuildsWhatTheScanFinds) {
  const std::string& d = kOnePage;
  // The error, else the trailer's /Root and whether /Info is kept.
  const std::tuple<const char*, std::string, std::string, std::string, bool> cases[] = {
      {"intact", d, "", "1 0 R", true},
      {"no startxref", d.substr(0, d.rfind("startxref")), "", "1 0 R", true},
      {"no trailer", Replaced(d, "trailer", "trailex"), "", "1 0 R", false},
      {"trailer /Root wrong", Replaced(d, "/Root 1 0 R", "/Root 3 0 R"), "", "1 0 R", true},
      {"truncated in object 4", d.substr(0, d.find("4 0 obj") + 12), "", "1 0 R", false},
      {"no page tree", Replaced(d, "2 0 obj", "2 0 obx"), "PdfFileParser::Recover:no catalog with pages", "", false},
      {"no catalog", Replaced(d, "1 0 obj", "1 0 obx"), "", "5 0 R", true},  // one made for the page tree
      {"no PDF header", Replaced(d, "%PDF-", "%PDX-"), "", "1 0 R", true},   // rebuilt, as qpdf and mutool do
      {"not a PDF", Replaced(Replaced(d, "%PDF-", "%PDX-"), "2 0 obj", "2 0 obx"), "No es archivo pdf.", "",
       false},  // objects, but no document in them
  };
  for (const auto& [name, pdf, error, root, info] : cases) {
    Doc doc(pdf);
    doc.parser.SetRepair(true);
    ASSERT_EQ(doc.Parse(), error) << name;
    if (!error.empty()) continue;
    EXPECT_EQ(doc.parser.RepairReport().repaired, std::string(name) != "intact") << name;
    EXPECT_EQ(doc.parser.BuscarEnTrailer("/Root", false)->text, root) << name;
    EXPECT_EQ(doc.parser.BuscarEnTrailer("/Info", false) != nullptr, info) << name;
    EXPECT_NE(doc.Get("3 0 R"), nullptr) << name;
  }
}

// The newest (last) version of an object wins; a stream without "endstream" ends before the EOL before "endobj".
TEST(Recovery, NewestVersionAndUnclosedStream) {
  for (const std::string eol : {"\r\n", "\n", "\r", ""}) {
    Doc doc(kOnePage.substr(0, kOnePage.find("xref")) + "3 0 obj\n<</Type/Page/Parent 2 0 R/New 1>>\nendobj\n" +
            "5 0 obj\n<</Length 99>>\nstream\nDATA" + eol + "endobj\n");
    doc.parser.SetRepair(true);
    ASSERT_EQ(doc.Parse(), "");
    EXPECT_NE(static_cast<PdfDiccionario*>(doc.Get("3 0 R"))->GetValue("/New", false), nullptr);
    int64_t offset = 0, length = 0;
    doc.parser.StreamExtent(static_cast<PdfDiccionario*>(doc.Get("5 0 R")), errtext::kStreamNoLength, &offset, &length);
    EXPECT_EQ(doc.bytes.substr(static_cast<size_t>(offset), static_cast<size_t>(length)), "DATA") << eol.size();
  }
}

}  // namespace
