// The byte streams the reader reads through, and literal strings as the writer writes them.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "crypt/pdfsecurityhandler.h"
#include "pdf/pdfparser.h"
#include "tests/pdfbuilder.h"

namespace {

using namespace pdftest;

TEST(MemoryStream, ReadsAreBounded) {
  const std::vector<uint8_t> data = {0x01, 0x80, 0xFF};
  PdfMemoryStream s(data.data(), data.size());
  EXPECT_EQ(s.LeerByte(), 0x01);
  EXPECT_EQ(s.LeerByte(), 0x80) << "high bytes are never negative";
  uint8_t buf[4] = {};
  EXPECT_EQ(ErrorOf([&] { s.Leer(buf, 2); }), "PdfMemoryStream::Leer:fuera de rango");
  EXPECT_EQ(s.Tell(), 2) << "a refused read moves nothing";
  s.Leer(buf, 1);
  EXPECT_EQ(buf[0], 0xFF);
  EXPECT_TRUE(s.Eof());
  EXPECT_EQ(s.LeerByte(), -1);
  EXPECT_EQ(ErrorOf([&] { s.Leer(buf, SIZE_MAX); }), "PdfMemoryStream::Leer:fuera de rango");
  // SetBuffer keeps the position, clamped to the new length.
  s.SetBuffer(data.data(), 1);
  EXPECT_EQ(s.Tell(), 1);
  EXPECT_TRUE(s.Eof());
  // Seeks refused, the position unchanged: past the end, before the start, overflowing, an unknown origin (1 to 3).
  for (const auto& [offset, origin] :
       {std::pair<int64_t, int>{2, 1}, {-2, 2}, {INT64_MIN, 2}, {INT64_MAX, 3}, {0, 4}}) {
    EXPECT_NE(ErrorOf([&s, o = offset, w = origin] { s.Seek(o, w); }), "") << offset << "," << origin;
    EXPECT_EQ(s.Tell(), 1) << offset << "," << origin;
  }
  s.Seek(-1, 3);
  EXPECT_EQ(s.Tell(), 0) << "from the end";
}

// The writer's and the security handler's escapers: every byte read back, no raw parenthesis or line end left.
TEST(PdfSyntaxFormatter, EscapeRoundTripsAllBytes) {
  std::string all;
  for (int i = 0; i < 512; ++i) all.push_back(static_cast<char>(i));
  for (const std::string& escaped :
       {PdfSyntaxFormatter::EscapeLiteralString(all), PdfSecurityHandler::EscapeLiteralString(all)}) {
    const std::string literal = "(" + escaped + ")";
    PdfMemoryStream in(literal.data(), literal.size());
    EXPECT_EQ(PdfParser().ParseString(in), all);
    for (size_t i = 0; i < escaped.size(); ++i) {
      if (escaped[i] == '\\')
        ++i;
      else
        EXPECT_EQ(std::string("()\n\r").find(escaped[i]), std::string::npos) << "raw byte " << int(escaped[i]);
    }
  }
}

}  // namespace
