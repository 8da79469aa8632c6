// The syntax formatter: literal strings as the writer writes them (its names: SerializesValuesByteExact).
#include "base/pdfsyntaxformatter.h"

#include <gtest/gtest.h>

#include <string>

#include "base/pdfmemorystream.h"
#include "crypt/pdfsecurityhandler.h"
#include "pdf/pdfparser.h"

namespace {

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
