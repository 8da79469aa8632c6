// The header of an object stream (pairs of object number and offset) is read
// directly when it is nothing but digits and white space, token by token
// otherwise. Both must find the same members.
#include <gtest/gtest.h>

#include <string>

#include "pdf/kelvraruntimeerror.h"
#include "pdf/pdfdiccionario.h"
#include "tests/pdfbuilder.h"

namespace {

using namespace pdftest;

// Finds member 5 in object stream 3 whose header is `header` and /N is n:
// "index@offset", or the error.
std::string FindFive(const std::string& header, int n) {
  const std::string bodies = "(four) (five) (six)";
  PdfBuilder b;
  b.Obj(1, "<< /Type /Catalog >>");
  b.Stream(3, "/Type /ObjStm /N " + std::to_string(n) + " /First " + std::to_string(header.size()), header + bodies);
  const std::string doc =
      b.Finish(b.XRefStreamOf(9, {FreeAt(0, 65535), InUse(1), InUse(3), InStm(4, 3, 0), InStm(5, 3, 1)}, "/Root 1 0 R"));
  PdfMemoryStream in(doc.data(), doc.size());
  PdfFileParser p;
  p.Parse(in);
  int32_t index = -1;
  int64_t offset = 0;
  try {
    PdfDiccionario* stm = p.FindInObjectStream(3, 5, 1, &index, &offset);
    return std::to_string(index) + "@" + std::string(reinterpret_cast<const char*>(stm->stream_data.data()) + offset, 6);
  } catch (const _kelvra_runtime_error& e) {
    return e.message;
  }
}

TEST(ObjectStreamHeader, PlainAndOtherHeaders) {
  const std::string kNotFound = "PdfFileParser::ParseObjectStream:object not found";
  const struct { std::string header; int n; std::string expected; } rows[] = {
      {"4 0 5 7 ", 2, "1@(five)"},
      {"\n4  0\r\n5\t7\f", 2, "1@(five)"},                                    // any white space
      {std::string("4 0 5 7") + '\0', 2, "1@(five)"},                          // NUL is white space
      {"6 0 5 7 ", 2, "1@(five)"},                                             // found by number too
      {"%c\n4 0 5 7 ", 2, "1@(five)"},                                         // a comment: token by token
      {"4 0 5 7.0 ", 2, "1@(five)"},                                           // a decimal offset: token by token
      {"4 0 5", 2, kNotFound},                                                 // the pair is cut
      {"4 0 6 7 5 7 ", 2, kNotFound},                                          // /N ends the header
      {"4 0 5 99999999999999999999 ", 2, "PdfFileParser::ParseObjectStream:bad header"},  // saturated offset
      {"4 0 5 x ", 2, kNotFound},                                              // not a number: the pairs end
  };
  for (const auto& row : rows) EXPECT_EQ(FindFive(row.header, row.n), row.expected) << row.header;
}

}  // namespace
