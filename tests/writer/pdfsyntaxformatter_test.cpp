#include "writer/pdfsyntaxformatter.h"

#include <gtest/gtest.h>

#include <string>

#include "crypt/pdfsecurityhandler.h"
#include "tests/pdfbuilder.h"

namespace {

struct Row {
  std::string input, expected;
  const char* what;
};

TEST(PdfSyntaxFormatter, FormatName) {
  const Row rows[] = {
      {"/Type", "/Type", "plain letters are copied"},
      {"/A B", "/A#20B", "space becomes #20"},
      {"/", "/", "a name of only the slash"},
      {"", "/", "empty text does not read past the end"},
      {"/a-b#", "/a#2Db#23", "punctuation and # itself, upper-case hex"},
      {"//", "/#2F", "only the first slash is the marker"},
      {"/\xE9\xFF", "/#E9#FF", "high bytes: no sign extension"},
      {std::string("/a\0b", 4), "/a#00b", "embedded zero byte"},
      {"/@[`{Az09", "/#40#5B#60#7BAz09", "bytes just outside and at the ends of the plain classes"},
      {"Type", "/Type", "text without its slash loses no byte"},
  };
  for (const Row& row : rows) EXPECT_EQ(PdfSyntaxFormatter::FormatName(row.input), row.expected) << row.what;
}

// The writer's escaper and the security handler's (for O and U) alike.
TEST(PdfSyntaxFormatter, EscapeLiteralString) {
  const Row rows[] = {
      {"", "", "empty string"},
      {"a(b)\\", "a\\(b\\)\\\\", "parentheses and backslash"},
      {std::string(1, '\0'), std::string(1, '\0'), "zero byte copied raw"},
      {"\n\r\t\b\fx", "\\n\\r\\t\\b\\fx", "the five control escapes, then a run"},
      {"\x0B\x0E\x7F\x80\xFF", "\x0B\x0E\x7F\x80\xFF", "neighbouring control and high bytes stay raw"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(PdfSyntaxFormatter::EscapeLiteralString(row.input), row.expected) << row.what;
    EXPECT_EQ(PdfSecurityHandler::EscapeLiteralString(row.input), row.expected) << row.what;
  }

  // Appending keeps what the buffer already holds.
  std::string out = "(";
  const uint8_t data[] = {'x', ')', 'y'};
  PdfSyntaxFormatter::AppendEscapedLiteralString(out, data, sizeof data);
  EXPECT_EQ(out, "(x\\)y");
}

// Every byte value survives: undoing the escapes gives the input back, and no
// raw parenthesis or line end is left to confuse a reader.
TEST(PdfSyntaxFormatter, EscapeRoundTripsAllBytes) {
  std::string all;
  for (int i = 0; i < 512; ++i) all.push_back(static_cast<char>(i));
  for (const std::string& escaped :
       {PdfSyntaxFormatter::EscapeLiteralString(all), PdfSecurityHandler::EscapeLiteralString(all)}) {
    EXPECT_EQ(pdftest::Unescape(escaped), all);
    for (size_t i = 0; i < escaped.size(); ++i) {
      if (escaped[i] == '\\') ++i;
      else EXPECT_EQ(std::string("()\n\r").find(escaped[i]), std::string::npos) << "raw byte " << int(escaped[i]);
    }
  }
}

TEST(PdfSyntaxFormatter, HexToBytes) {
  const Row rows[] = {
      {"48656C6C6F", "Hello", "pairs, first digit high"},
      {"414", "A@", "odd last digit is padded with 0"},
      {"", "", "no digits"},
      {"aBcDeF", "\xAB\xCD\xEF", "both letter cases"},
      {"fF00", std::string("\xFF\0", 2), "high and zero bytes"},
      {"4 1\n4\t", "A@", "white space is skipped, pairing continues"},
      {"4G1", "A", "a non-hex character is skipped, not read as 0"},
  };
  for (const Row& row : rows) EXPECT_EQ(PdfSyntaxFormatter::HexToBytes(row.input), row.expected) << row.what;
}

}  // namespace
