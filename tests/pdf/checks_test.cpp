// What the tool checks and reports (the comparison of a written document with its input, the texts of the library's
// errors), and object streams inflated ahead of need.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "pdf/pdfdecodeahead.h"
#include "pdf/pdfdocumentcomparer.h"
#include "api/pdferrorreport.h"
#include "tests/pdfbuilder.h"

namespace {

using pdftest::Doc;
using pdftest::PdfBuilder;

// What --verify rests on. Object 1 is the catalog, 2 a stream of the data (none for "-"). Each row is compared with
// the expected side read again and with digests recorded as the writer records them (here in reverse order).
std::string File(const std::string& catalog, const std::string& data) {
  PdfBuilder b;
  b.Obj(1, catalog);
  if (data != "-") b.Stream(2, "", data);
  return b.Finish(b.Classic({{0, b.Rows(data != "-" ? 2 : 1)}}, "/Size 3 /Root 1 0 R"));
}

TEST(DocumentComparer, FirstDifferenceFails) {
  const std::string base = "<< /Type /Catalog /S (ab) /N 1 >>", differs1 = "PdfDocumentComparer:object 1 0 differs";
  const std::string differs2 = "PdfDocumentComparer:object 2 0 differs";
  const struct {
    std::string expected, written, data, error;
  } rows[] = {
      {base, base, "abc", ""},
      {base, "<< /Type /Catalog /S <6162> /N 1 >>", "abc", ""},                          // a string is its bytes
      {base, "<< /Type /Catalog /S (ab) /N 1 /Extensions << /ADBE 1 >> >>", "abc", ""},  // the catalog may gain it
      {base, "<< /N 1 /S (ab) /Type /Catalog >>", "abc", ""},                            // key order
      {base, "<< /Type /Catalog /S (ac) /N 1 >>", "abc", differs1},
      {base, "<< /Type /Catalog /S (ab) /N 1.0 >>", "abc", differs1},
      {base, "<< /Type /Catalog /S (ab) >>", "abc", differs1},
      {base, "<< /Type /Catalog /S [(ab)] /N 1 >>", "abc", differs1},
      {base, "<< /Type /Catalog /S (ab) /N 2 0 R >>", "abc", differs1},
      {"<< /S [(aS) (c)] >>", "<< /S [(a) (Sc)] >>", "abc", differs1},  // pieces never run together
      {base, base, "abd", differs2},
      {base, base, "-", differs2},  // missing
  };
  for (const auto& row : rows) {
    for (bool recorded : {false, true}) {
      Doc expected(File(row.expected, "abc")), actual(File(row.written, row.data));
      ASSERT_EQ(expected.Parse() + actual.Parse(), "");
      PdfDocumentComparer::Known known;
      for (int64_t n = 2; recorded && n >= 1; --n) known.Record(expected.parser, n, expected.parser.DameObjeto(n, 0));
      auto compare = [&] { PdfDocumentComparer::Compare(expected.parser, actual.parser, recorded ? &known : nullptr); };
      EXPECT_EQ(pdftest::ErrorOf(compare), row.error) << row.written << " " << row.data << " " << recorded;
    }
  }
}

TEST(ErrorCatalogue, EachTextOnceWithACodeAndASentence) {
  std::set<std::string> texts;
  for (const ErrorCatalogue::Entry* e : ErrorCatalogue()) {
    // An empty text is made whole at run time (a keyword, a filter name).
    EXPECT_TRUE(texts.insert(e->text).second || *e->text == '\0') << "twice: " << e->text;
    EXPECT_STRNE(e->sentence, "") << e->text;
    EXPECT_STRNE(PdfErrorReport::CodeName(e->code), "") << e->text;
    // A limit is set against hostile files: repairing past it would read the same data again.
    EXPECT_FALSE(e->code == ErrorCatalogue::Code::kLimitExceeded && e->repairable) << e->text;
  }
  EXPECT_EQ(PdfErrorReport::For(errtext::kNoEof, "t", "in.pdf", 0).message,
            "in.pdf is damaged: it does not end with %%EOF; the file may be truncated");
}

using Outcome = PdfDecodeAhead::Outcome;

std::vector<uint8_t> Deflate(const std::string& text) {
  const std::string out = pdftest::Deflate(text);
  return std::vector<uint8_t>(out.begin(), out.end());
}

// Takes job n at offset as submitted with data: the outcome, then ":" and the decoded text or the error.
std::string Take(PdfDecodeAhead& ahead, int64_t n, int64_t offset, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> out;
  const ErrorCatalogue::Entry* error = nullptr;
  const Outcome o = ahead.Take(n, offset, static_cast<int64_t>(data.size()), &out, &error);
  return (o == Outcome::kDecoded  ? "decoded:"
          : o == Outcome::kFailed ? "failed:" + std::string(error->text)
                                  : "none:") +
         std::string(out.begin(), out.end());
}

// Results nobody took fill the budget; asking for a later job must still get it, not wait for room that never
// comes; one let go with jobs queued stops.
TEST(PdfDecodeAhead, UntakenResultsDoNotBlock) {
  PdfDecodeAhead ahead;
  const std::vector<uint8_t> eight_mib = Deflate(std::string(size_t{8} << 20, 'a')), last = Deflate("the last one");
  size_t submitted = 0;
  while (!ahead.Full() && submitted < PdfDecodeAhead::kMaxJobs - 1)
    ahead.Submit(static_cast<int64_t>(++submitted), 0, eight_mib);
  EXPECT_GE(submitted, 4u);
  ahead.Submit(99, 0, last);
  EXPECT_EQ(Take(ahead, 99, 0, last), "decoded:the last one");
  EXPECT_FALSE(ahead.Full());
  PdfDecodeAhead queued;
  for (int n = 1; n <= 8; ++n) queued.Submit(n, 0, Deflate(std::string(size_t{4} << 20, 'b')));
}

}  // namespace
