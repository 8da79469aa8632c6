#include "pdf/pdfdocumentcomparer.h"

#include "pdfbuilder.h"

namespace {

using pdftest::Doc;
using pdftest::ErrorOf;
using pdftest::SimpleDocument;

// What --verify rests on: equal documents pass, and any difference in a
// value or in stream bytes names the object, whether the expected side is
// read again or taken from digests recorded (in any order) as written.
TEST(PdfDocumentComparer, EqualValuesPassAndEveryDifferenceIsNamed) {
  const std::string differs2 = "PdfDocumentComparer:object 2 0 differs";
  const std::string differs3 = "PdfDocumentComparer:object 3 0 differs";
  struct Case {
    std::vector<std::string> expected, actual;
    std::string error;
  } cases[] = {
      {{"<< /A 1 /B [1 (x) /N] >>", "7"}, {"<< /B [1 (x) /N] /A 1 >>", "7"}, ""},
      {{"(abc)"}, {"<616263>"}, ""},  // a string is its bytes, literal or hex
      {{"<< /Length 3 >>\nstream\nabc\nendstream"}, {"<< /Length 3   >>\nstream\nabc\nendstream"}, ""},
      {{"1", "2"}, {"1", "3"}, differs3},
      {{"/A"}, {"/B"}, differs2},
      {{"(ab)"}, {"(ab )"}, differs2},
      {{"[(aS) (c)]"}, {"[(a) (Sc)]"}, differs2},  // pieces do not run together
      {{"[1 2]"}, {"[1 2 3]"}, differs2},
      {{"<< /A 1 >>"}, {"<< /A 1 /B 2 >>"}, differs2},
      {{"<< /A 1 >>"}, {"<< /B 1 >>"}, differs2},
      {{"2 0 R"}, {"3 0 R"}, differs2},
      {{"<< /Length 3 >>\nstream\nabc\nendstream"}, {"<< /Length 3 >>\nstream\nabd\nendstream"}, differs2},
      {{"1", "2"}, {"1"}, differs3},  // missing
  };
  for (const Case& c : cases) {
    for (bool recorded : {false, true}) {
      Doc expected(SimpleDocument(c.expected)), actual(SimpleDocument(c.actual));
      ASSERT_EQ(expected.Parse(), "");
      ASSERT_EQ(actual.Parse(), "");
      PdfDocumentComparer::Known known;
      for (size_t n = c.expected.size() + 1; recorded && n >= 1; --n)
        known.Record(expected.parser, static_cast<int64_t>(n), expected.Get(std::to_string(n) + " 0 R"));
      EXPECT_EQ(ErrorOf([&] { PdfDocumentComparer::Compare(expected.parser, actual.parser, recorded ? &known : nullptr); }),
                c.error)
          << c.expected[0] << " / " << c.actual[0] << (recorded ? " (recorded)" : "");
    }
  }
}

}  // namespace
