// The syntax formatter: names and literal strings as the writer writes them.
#include "base/pdfsyntaxformatter.h"

#include <gtest/gtest.h>

#include <string>

#include "base/pdfmemorystream.h"
#include "crypt/pdfsecurityhandler.h"
#include "pdf/pdfparser.h"

namespace {

TEST(PdfSyntaxFormatter, FormatName) {
  const struct {
    std::string input, expected;
    const char* what;
  } rows[] = {
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
  for (const auto& row : rows) EXPECT_EQ(PdfSyntaxFormatter::FormatName(row.input), row.expected) << row.what;
}

// The writer's escaper and the security handler's (for O and U): every byte value survives, the reader gives the
// input back, and no raw parenthesis or line end is left to confuse a reader. (The forms written are pinned by
// SerializesValuesByteExact and the golden file.)
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
