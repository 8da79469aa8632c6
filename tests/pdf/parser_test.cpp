#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pdf/pdfarray.h"
#include "pdf/pdfdiccionario.h"
#include "base/pdflimits.h"
#include "tests/pdfbuilder.h"

namespace {

using namespace pdftest;

// Fetched values joined by "|": the text, "<dict>", "<array>", "null" for no value, or "!" and the error.
std::string Fetch(Doc& d, std::initializer_list<std::string> refs) {
  std::string out;
  for (const std::string& ref : refs) {
    std::string got;
    const std::string err = ErrorOf([&] {
      const PdfValue* v = d.Get(ref);
      got = v == nullptr                              ? "null"
            : v->kind() == PdfValue::Kind::Dictionary ? "<dict>"
            : v->kind() == PdfValue::Kind::Array      ? "<array>"
                                                      : v->text;
    });
    out += (out.empty() ? "" : "|") + (err.empty() ? got : "!" + err);
  }
  return out;
}

// The objects of the document as "number.generation", in order.
std::string Listed(Doc& d) {
  std::string out;
  for (const XRefEntry* e : d.parser.DocumentObjects())
    out += (out.empty() ? "" : " ") + std::to_string(e->number) + "." + std::to_string(e->generation);
  return out;
}

const std::string kNoOffset = "!PdfFileParser::OffsetObjeto:No offset";

// Objects 1..n whose bodies are the numbers 101, 102, ... so that each version of an object can be told apart.
PdfBuilder Numbers(int n) {
  PdfBuilder b;
  for (int i = 1; i <= n; ++i) b.Obj(i, std::to_string(100 + i));
  return b;
}

// Rows of 20 and 19 bytes; a first subsection "1" that begins with object 0's free row is read as from 0.
TEST(ClassicXref, SubsectionOffByOneRepaired) {
  for (const char* eol : {" \n", "\r\n", " \r", "\n", "\r"}) {
    PdfBuilder b = Numbers(8);
    Doc d(b.Finish(b.Classic({{0, {Free(), b.At(1), b.At(2)}}, {5, {}}, {7, {b.At(7), b.At(8)}}}, "/Size 9", eol)));
    ASSERT_EQ(d.Parse(), "");
    // In the file but in no subsection, a free entry, a wrong generation.
    EXPECT_EQ(Fetch(d, {"1 0 R", "2 0 R", "7 0 R", "8 0 R", "3 0 R", "0 0 R", "8 1 R"}),
              "101|102|107|108|" + kNoOffset + "|" + kNoOffset + "|" + kNoOffset)
        << int(eol[0]);
  }
  for (const bool shifted : {true, false}) {
    PdfBuilder b = Numbers(2);
    Doc d(b.Finish(shifted ? b.Classic({{1, b.Rows(2)}}, "/Size 3")
                           : b.Classic({{0, {Free()}}, {1, {b.At(1), b.At(2)}}}, "/Size 3")));
    ASSERT_EQ(d.Parse(), "");
    EXPECT_EQ(Fetch(d, {"1 0 R", "2 0 R"}), "101|102") << shifted;
  }
}

TEST(XRefStream, WidthsAndSubsections) {
  const struct {
    std::array<int, 3> w;
    std::string entries;
    std::vector<int> objects;                 // the entries' objects, -1 a free entry
    std::initializer_list<std::string> refs;  // fetched after the parse
    std::string result;                       // what they give, or "!" and the parse's error
  } rows[] = {
      {{1, 2, 2}, "/Size 4", {-1, 1, 2, 3}, {"1 0 R", "3 0 R", "0 0 R"}, "101|103|" + kNoOffset},
      {{0, 4, 2}, "/Index [1 3]", {1, 2, 3}, {"2 0 R"}, "102"},
      {{1, 2, 0}, "/Size 3", {-1, 1, 2}, {"2 0 R", "2 1 R"}, "102|" + kNoOffset},
      {{4, 8, 4}, "/Size 2", {-1, 1}, {"1 0 R"}, "101"},  // wide fields, as for files over 4 GiB
      {{1, 3, 1}, "/Index [0 3 10 2]", {-1, 1, 2, 10, 11}, {"10 0 R", "11 0 R", "3 0 R"}, "110|111|" + kNoOffset},
      {{1, 2, 1}, "/Index [1 1 1 1]", {1, 2}, {"1 0 R"}, "101"},  // listed twice: the first counts
      {{1, 2, 1}, "/Index [1 1 1000000000 1]", {1, 1000000000}, {"1000000000 0 R"}, "999"},  // sparse, large
      {{1, 2, 1}, "/Index [2147483640 1]", {1}, {}, "!PdfFileParser::LeerCrossReferenceStream. bad /Index"},
      {{1, 2, 1}, "/Index [0 6]", {-1, 1, 2, 3, 10}, {}, "!PdfFileParser::ParseCrossRefStreamEntry. unknown /W array"},
      {{1, 0, 1}, "/Size 1", {-1}, {}, "!PdfFileParser::ParseBytes."},  // widths out of range
      {{1, 2, 1}, "/Size 2 /Length 9 0 R", {-1, 1}, {"1 0 R"}, "101"},  // indirect /Length, unknown while parsing
  };
  for (const auto& row : rows) {
    PdfBuilder b = Numbers(3);
    b.Obj(10, "110");
    b.Obj(11, "111");
    b.Obj(1000000000, "999");
    std::vector<Row> data;
    for (int n : row.objects) data.push_back(n < 0 ? Free() : b.At(n));
    Doc d(b.Finish(b.XRefStream(20, data, row.w, row.entries)));
    const std::string error = d.Parse();
    EXPECT_EQ(error.empty() ? Fetch(d, row.refs) : "!" + error, row.result) << row.entries;
  }
}

// classic <- stream <- hybrid classic: each /Prev is dispatched by what stands there.
TEST(XRefStream, HybridFileReadsXRefStm) {
  PdfBuilder b = Numbers(2);
  b.Obj(6, "106");
  const int64_t x0 = b.Classic({{0, b.Rows(2)}, {6, {b.At(6)}}}, "/Size 7 /Root 1 0 R");
  const Row old2 = b.At(2);
  b.Obj(1, "201");
  const int64_t x1 =
      b.XRefStream(8, {b.At(1), b.Here()}, {1, 2, 1}, "/Index [1 1 8 1] /Size 9 /Prev " + std::to_string(x0));
  b.Obj(2, "202");
  b.Obj(6, "206");
  b.ObjStm(5, {{3, "103"}, {4, "<</Four 4>>"}});
  // Besides 3 and 4, the stream lists a stale 2 the table hides and a 6 that hides /Prev's.
  const int64_t xs =
      b.XRefStream(7, {old2, Compressed(5, 0), Compressed(5, 1), b.At(6)}, {1, 2, 1}, "/Index [2 3 6 1] /Size 9");
  const int64_t x2 = b.Classic({{2, {b.At(2), Free(), Free()}}, {5, {b.At(5)}}},
                               "/Size 9 /Prev " + std::to_string(x1) + " /XRefStm " + std::to_string(xs));
  Doc d(b.Finish(x2));
  ASSERT_EQ(d.Parse(), "");
  EXPECT_EQ(Fetch(d, {"1 0 R", "2 0 R", "3 0 R", "4 0 R", "6 0 R"}), "201|202|103|<dict>|206");
  EXPECT_EQ(d.parser.BuscarEnTrailer("/Root")->text, "201");
  EXPECT_EQ(Listed(d), "2.0 5.0 3.0 4.0 6.0 1.0");
}

// Section chains and trailers that must end in an error, never a hang.
TEST(ClassicXref, BrokenChainsAndTrailers) {
  // The newest section's text after an older one whose /Prev points at it; "@" the newest's offset, "#" the older's.
  auto file = [](const std::string& section) {
    PdfBuilder b = Numbers(1);
    const std::string older = std::to_string(b.Classic({{0, b.Rows(1)}}, "/Prev 9999999999"));
    const int64_t at = b.Pos();
    std::string text = section;
    for (size_t i; (i = text.find('#')) != std::string::npos;) text.replace(i, 1, older);
    for (size_t i; (i = text.find('@')) != std::string::npos;) text.replace(i, 1, std::to_string(at));
    b.out += text;
    std::string pdf = b.Finish(at);
    char digits[16];
    std::snprintf(digits, sizeof digits, "%010lld", static_cast<long long>(at));
    return pdf.replace(pdf.find("9999999999"), 10, digits);
  };
  auto trailer = [&](const std::string& entries) {
    return file("xref\n1 1\n0000000009 00000 n \ntrailer\n<<" + entries + ">>\n");
  };
  auto stream = [](const std::string& dict, const std::string& data) {  // a cross-reference stream alone
    PdfBuilder b;
    return b.Finish(b.Stream(1, dict, data));
  };
  const std::string row1 = "0000000009 00000 n \n", z4(4, '\0');
  const std::pair<std::string, std::string> rows[] = {
      {trailer("/Prev @"), "PdfFileParser::ParseCrossReference:Prev loop"},               // /Prev to itself
      {trailer("/Prev #"), "PdfFileParser::ParseCrossReference:Prev loop"},               // two sections in a ring
      {file("xref\n0 1\n" + row1), "PdfFileParser::LeerCrossReferenceTable:no trailer"},  // rows, then startxref
      {file("xref\n0 1\n" + row1 + "trailer\n[]"), "PdfFileParser::ParseTrailerDict::NextToken"},  // no dictionary
      {file("xref\n0 1\n00000000x9 00000 n \ntrailer\n<<>>"), "XRef::Read:entry"},                 // letters in a row
      {file("xref\n0 1000000\n" + row1 + "trailer\n<<>>"), "PdfFileStream::Leer::fread"},  // rows the file cannot hold
      {file("xref\n2147483647 1\n" + row1 + "trailer\n<<>>"),
       "PdfFileParser::LeerCrossReferenceTable:object number"},                 // over the limit
      {trailer("/Encrypt 9 0 R"), "Encrypted"},                                 // already encrypted
      {trailer("/XRefStm @"), "PdfFileParser::ParseCrossReference:Prev loop"},  // /XRefStm to a section read
      {trailer("/Encrypt null"), ""},                                           // null counts as absent
      {stream("/Type/XRef /Size 1", z4), "PdfFileParser::LeerCrossReferenceStream. no /W array"},
      {stream("/W [1 2 1] /Size 1", z4), "PdfFileParser::LeerCrossReferenceStream. "},  // no /Type
      {stream("/Type/XRef /W [1 2] /Size 1", z4), "PdfFileParser::ParseCrossRefStreamEntry. unknown /W array"},
      {stream("/Type/XRef /W [1 2 1] /Size 1", "\3" + z4.substr(1)),
       "PdfFileParser::ParseCrossRefStreamEntry. Format not supported."},
  };
  for (const auto& [pdf, error] : rows) EXPECT_EQ(Doc(pdf).Parse(), error) << pdf;
  PdfBuilder b = Numbers(1);  // a stream's /Prev to itself
  const int64_t at = b.Pos();
  EXPECT_EQ(Doc(b.Finish(b.XRefStream(2, b.Rows(1), {1, 2, 1}, "/Size 2 /Prev " + std::to_string(at)))).Parse(),
            "PdfFileParser::ParseCrossReference:Prev loop");
}

TEST(FileStructure, HeaderAndStartxref) {
  PdfBuilder base = Numbers(1);
  const int64_t x = base.Classic({{0, base.Rows(1)}}, "/Size 2");
  const std::string body = base.out;
  const std::string sx = std::to_string(x);
  const std::pair<std::string, std::string> rows[] = {
      {body + "startxref\n" + sx + "\n%%EOF\n", ""},
      {body + "startxref\r\n000000" + sx + "\r\n%%EOF\r\n", ""},                 // 10-digit offset
      {body + "startxref\n" + sx + "\n%%EOF", ""},                               // no final line end
      {body + "startxref\n" + sx + "\n%%EOF\n" + std::string(20000, '\0'), ""},  // block padding is skipped
      {body + "startxref\n" + sx + "\n%%EOF\n" + std::string(990, 'x'), ""},     // what gateways append, in the window
      {body + "startxref\n" + sx + "\n%%EOF\n" + std::string(1100, 'x'), "PdfFileParser::LeerStartAddress:no %%EOF"},
      {body + "%%EOF\n", "PdfFileParser::LeerStartAddress:no startxref"},
      {body + "startxref\n0\n%%EOF\n", "PdfFileParser::Parse:LeerStartAddress"},
      {body + "startxref\n99999\n%%EOF\n", "PdfFileParser::ParseCrossReference"},                    // past the end
      {body + "startxref\n99999999999999999999999\n%%EOF\n", "PdfFileParser::ParseCrossReference"},  // saturates
      // Two endings close together (an appended update): the last one counts.
      {body + "startxref\n1\n%%EOF\nstartxref\n" + sx + "\n%%EOF\n", ""},
      {"%!PS-Adobe" + body.substr(8) + "startxref\n" + sx + "\n%%EOF\n", "No es archivo pdf."},
      {"%PDF", "PdfMemoryStream::Leer:fuera de rango"},
  };
  for (const auto& [pdf, error] : rows)
    EXPECT_EQ(Doc(pdf).Parse(), error) << pdf.substr(body.size() < pdf.size() ? body.size() : 0, 60);
}

// The first of a repeated key counts; null is absent by key, visible by index; references resolve on request.
TEST(ObjectSyntax, ValuesOfEveryKind) {
  Doc doc(SimpleDocument({"<</Annots null /B 1 /P 2 /P 3 /Ref 8 0 R /Gone 99 0 R /Arr [8 0 R]>>", "", "5 0 R",
                          "<</A foo>>", "<</A 1e5>>", "<</A 1 2 /B>>", "<</Eight 8>>"}));
  ASSERT_EQ(doc.Parse(), "");
  auto* d = static_cast<PdfDiccionario*>(doc.Get("2 0 R"));
  EXPECT_EQ(d->GetKey(0) + " " + d->GetValue(int64_t{0}, false)->text, "/Annots null");
  EXPECT_EQ(d->GetValue("/Annots", true), nullptr);
  EXPECT_EQ(d->GetValue("/P", false)->text, "2");
  PdfValue* eight = doc.Get("8 0 R");
  EXPECT_EQ(d->GetValue("/Ref", true), eight) << "resolved through the parser";
  EXPECT_EQ(static_cast<PdfArray*>(d->GetValue("/Arr", false))->GetValue(0, true), eight);
  EXPECT_EQ(ErrorOf([&] { d->GetValue("/Gone", true); }), "PdfFileParser::OffsetObjeto:No offset");
  // An empty body; a lone reference is not followed; a bare word is the message.
  EXPECT_EQ(Fetch(doc, {"3 0 R", "4 0 R", "5 0 R", "6 0 R", "7 0 R"}),
            "null|5 0 R|!foo|!PdfFileParser::ParseValue:EsNumeral|!PdfFileParser::ParseDiccionario:token");
}

// Data from the CR LF or LF after "stream"; a wrong, indirect or missing /Length gives way to "endstream".
TEST(ObjectSyntax, StreamExtentFindsTheTrueLength) {
  const std::string no_length = "/OffsetStream no /Length";
  const std::string bad_eol = "PdfFileParser::KeyValuePairStream:bad char sequence";
  const std::array<std::string, 3> rows[] = {
      {"/Length 4", "\r\n", ""},
      {"/Length 4", "\n", ""},
      {"/Length 4", " \n", bad_eol},
      {"/Length 4", "\rX", bad_eol},  // blank before the line end, lone CR
      {"/Length 2", "\r\n", ""},
      {"/Length 9 0 R", "\r\n", ""},
      {"/Length (four)", "\r\n", ""},  // a missing object, not a number
      {"/Filter/FlateDecode", "\r\n", no_length},
  };
  for (const auto& [dict, eol, error] : rows) {
    PdfBuilder b;
    b.Obj(1, "<<" + dict + ">>stream" + eol + "DATA\r\nendstream");
    b.Obj(9, "4");
    Doc d(b.Finish(b.Classic({{0, {Free(), b.At(1)}}, {9, {b.At(9)}}}, "/Size 10")));
    ASSERT_EQ(d.Parse(), "");
    int64_t offset = -1, length = -1;
    EXPECT_EQ(ErrorOf([&] {
                d.parser.StreamExtent(static_cast<PdfDiccionario*>(d.Get("1 0 R")), errtext::kStreamNoLength, &offset,
                                      &length);
              }),
              error)
        << dict << eol.size();
    const std::string extent = std::to_string(offset) + "+" + std::to_string(length);
    EXPECT_EQ(extent, error.empty() ? std::to_string(d.bytes.find("DATA")) + "+4" : extent) << dict;
  }
}

TEST(ObjectSyntax, NestingIsBounded) {
  const int limit = pdflimits::kMaxNestingDepth;
  auto nested = [](const std::string& open, const std::string& close, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += open;
    for (int i = 0; i < n; ++i) s += close;
    return s;
  };
  const std::pair<std::string, std::string> rows[] = {
      {nested("[", "]", limit), ""},                                                                 // at the limit
      {nested("[", "]", limit + 1), "!PdfFileParser::ParseValue:nesting too deep"},                  // one past it
      {"[" + nested("<</A [", "]>>", 100000) + "]", "!PdfFileParser::ParseValue:nesting too deep"},  // mixed
  };
  for (const auto& [body, error] : rows) {
    Doc d(SimpleDocument({body}));
    ASSERT_EQ(d.Parse(), "");
    EXPECT_EQ(Fetch(d, {"2 0 R"}), error.empty() ? (body[0] == '[' ? "<array>" : "<dict>") : error) << body.size();
  }
}

TEST(ObjectFetch, WrongOffsets) {
  PdfBuilder b = Numbers(3);
  b.Obj(4, "104", 1);
  b.Obj(5, "(a string with 1 0 obj inside)");
  const int64_t inside = static_cast<int64_t>(b.out.find("1 0 obj inside"));
  const int64_t x =
      b.Classic({{0, {Free(), b.At(1), b.At(3), b.At(2), b.At(4, 0)}},
                 {6, {Row{1, static_cast<uint64_t>(b.Pos() + 100000), 0}, Row{1, static_cast<uint64_t>(inside), 0}}}},
                "/Size 8");
  Doc d(b.Finish(x));
  ASSERT_EQ(d.Parse(), "");
  const std::pair<std::string, std::string> rows[] = {
      {"1 0 R", "101"},                                                // the good entry
      {"2 0 R", "!PdfFileParser::DameObjeto:wrong object at offset"},  // points at object 3
      {"4 0 R", "!PdfFileParser::DameObjeto:wrong object at offset"},  // the file has generation 1
      {"6 0 R", "!PdfFileParser::ParseDiccionario:NextToken"},         // past the end
      {"7 0 R", "!PdfFileParser::DameObjeto:wrong object at offset"},  // inside a string
      {"1 0", "!PdfFileParser::OffsetObjeto:Referencia"},              // not a reference text
  };
  for (const auto& [ref, result] : rows) EXPECT_EQ(Fetch(d, {ref}), result) << ref;
}

TEST(ObjectStreams, Extraction) {
  PdfBuilder b;
  b.Obj(1, "<</Type/Catalog>>");
  b.ObjStm(5, {{10, "<</Ten 10>>"}, {11, "[11]"}, {12, "12"}, {14, "]"}});
  b.Obj(6, "<</Type/XObject /Length 2>>stream\nab\nendstream");
  b.ObjStm(8, {{15, "115"}}, " /Filter/FlateDecode");  // not actually compressed: must fail cleanly
  b.Stream(9, "/Type/ObjStm /N 1 /First 999", "19 0 119");
  // Parameters in an array belong to the filter at the same place, the last one too.
  std::string tiff = "21 0 121";
  for (size_t i = tiff.size() - 1; i > 0; --i) tiff[i] = static_cast<char>(tiff[i] - tiff[i - 1]);
  b.Stream(7, "/Type/ObjStm /N 1 /First 5 /Filter[/FlateDecode] /DecodeParms[<</Predictor 2 /Columns 8>>]",
           Deflate(tiff));
  const int64_t x =
      b.XRefStream(20,
                   {Free(), b.At(1), b.At(5), b.At(6), b.At(8), b.At(9), Compressed(5, 0), Compressed(5, 1),
                    Compressed(5, 9), Compressed(5, 2), Compressed(5, 3), Compressed(8, 0), Compressed(6, 0),
                    Compressed(10, 0), Compressed(5, 4), Compressed(9, 0), b.At(7), Compressed(7, 0)},
                   {1, 2, 1}, "/Index [0 2 5 2 8 2 10 5 15 1 16 1 17 1 18 2 7 1 21 1] /Size 22");
  Doc d(b.Finish(x));
  ASSERT_EQ(d.Parse(), "");
  // Fetch the object stream by its own reference first: its objects must still come out of it afterwards.
  ASSERT_EQ(Fetch(d, {"5 0 R"}), "<dict>");
  const std::pair<std::string, std::string> rows[] = {
      {"10 0 R", "<dict>"},
      {"11 0 R", "<array>"},
      {"12 0 R", "12"},                                                  // listed at a wrong index
      {"13 0 R", "!PdfFileParser::ParseObjectStream:object not found"},  // not in the header
      {"14 0 R", "null"},
      {"14 0 R", "null"},                                                // a body with no value, twice
      {"11 1 R", kNoOffset},                                             // compressed: generation 0 only
      {"15 0 R", "!PdfDeflateStreamFilter::Filter"},                     // undecodable data
      {"16 0 R", "!PdfFileParser::ParseObjectStream. Type != /ObjStm"},  // "object stream" of wrong type
      {"17 0 R", kNoOffset},                                             // its object stream is compressed
      {"18 0 R", "!PdfFileParser::ParseObjectStream:object not found"},  // beyond /N pairs
      {"19 0 R", "!PdfFileParser::ParseObjectStream:bad header"},        // /First past the data
      {"21 0 R", "121"},                                                 // Flate, then the TIFF predictor
  };
  for (const auto& [ref, result] : rows) EXPECT_EQ(Fetch(d, {ref}), result) << ref;
  EXPECT_EQ(d.Get("10 0 R")->obj_number, 10);
}

}  // namespace
