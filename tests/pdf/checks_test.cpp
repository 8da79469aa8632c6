// What the tool checks and reports (the comparison of a written document with its input, the texts of the library's
// errors), and object streams inflated ahead of need.
#include <gtest/gtest.h>

#include <cerrno>
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
      {base, "<< /Type /Catalog /S (ab) /M 1 >>", "abc", differs1},
      {base, "<< /Type /Catalog /S [(ab)] /N 1 >>", "abc", differs1},
      {base, "<< /Type /Catalog /S (ab) /N 2 0 R >>", "abc", differs1},
      {"<< /S [(aS) (c)] >>", "<< /S [(a) (Sc)] >>", "abc", differs1},  // pieces never run together
      {base, base, "abd", differs2},
      {base, base, "abcd", differs2},
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

using Code = PdfErrorReport::Code;

TEST(PdfErrorReport, LibraryTextsToCodesAndSentences) {
  const struct {
    const char* text;
    int os_error;
    Code code;
    const char* message;
  } rows[] = {
      // "@": the text
      {"PdfParser::Abrir:fopen", ENOENT, Code::kOpenFailed, "cannot open in.pdf: No such file or directory"},
      {"PdfParser::Abrir:fopen", 0, Code::kOpenFailed, "cannot open in.pdf"},
      {"No es archivo pdf.", 0, Code::kNotPdf, "in.pdf is not a PDF file"},
      {"Encrypted", 0, Code::kEncrypted, "in.pdf is already encrypted (use --input-password to re-encrypt)"},
      {"PdfFileParser::LeerStartAddress:no %%EOF", 0, Code::kDamaged,
       "in.pdf is damaged: it does not end with %%EOF; the file may be truncated"},
      {"PdfFileParser::OffsetObjeto:Referencia", 0, Code::kDamaged, "in.pdf is damaged: an object it lists is missing"},
      {"PdfArray::GetValue. Out of range index.", 0, Code::kDamaged, "in.pdf is damaged: @"},
      {"PdfParser::NextToken:Limit", 0, Code::kLimitExceeded,
       "in.pdf goes beyond a limit set against hostile files: @"},
      {"PdfFileParser::ParseValue:nesting too deep", 0, Code::kLimitExceeded,
       "in.pdf goes beyond a limit set against hostile files: @"},
      {"out of memory", 0, Code::kLimitExceeded, "in.pdf needs more memory than is available"},
      {"PdfFileWriter::Write:output", 0, Code::kOutputFailed, "cannot write the copy of in.pdf"},
      {"PdfFileParser::Recover:no catalog with pages", 0, Code::kDamaged,
       "in.pdf is damaged: no document catalog with pages is left in it"},
  };
  for (const auto& row : rows) {
    const PdfErrorReport r = PdfErrorReport::FromLibraryText(row.text, "in.pdf", row.os_error);
    EXPECT_EQ(r.code, row.code) << row.text;
    std::string message = row.message;
    if (const size_t at = message.find('@'); at != std::string::npos) message.replace(at, 1, row.text);
    EXPECT_EQ(r.message, message);
    EXPECT_EQ(r.detail, row.text);
  }
  EXPECT_STREQ(PdfErrorReport::CodeName(Code::kOwnerPasswordRequired), "owner_password_required");
}

using Outcome = PdfDecodeAhead::Outcome;

std::vector<uint8_t> Deflate(const std::string& text) {
  const std::string out = pdftest::Deflate(text);
  return std::vector<uint8_t>(out.begin(), out.end());
}

// Takes job n at offset as submitted with data: the outcome, then ":" and the decoded text or the error.
std::string Take(PdfDecodeAhead& ahead, int64_t n, int64_t offset, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> out;
  std::string error;
  const Outcome o = ahead.Take(n, offset, static_cast<int64_t>(data.size()), &out, &error);
  return (o == Outcome::kDecoded  ? "decoded:"
          : o == Outcome::kFailed ? "failed:" + error
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
