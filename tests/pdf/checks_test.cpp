// What the tool checks and reports: the comparison of a written document
// with its input, and the texts of the library's errors.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "pdf/pdfdocumentcomparer.h"
#include "pdf/pdferrorreport.h"
#include "tests/pdfbuilder.h"

namespace {

using pdftest::Doc;
using pdftest::PdfBuilder;

// A file whose catalog (object 1) has the given body, object 2 a stream.
std::string File(const std::string& catalog, const std::string& data = "abc") {
  PdfBuilder b;
  b.Obj(1, catalog);
  b.Stream(2, "", data);
  return b.Finish(b.Classic({{0, b.Rows(2)}}, "/Size 3 /Root 1 0 R"));
}

TEST(DocumentComparer, FirstDifferenceFails) {
  const std::string base = "<< /Type /Catalog /S (ab) /N 1 >>";
  const struct { std::string written, data, error; } rows[] = {
      {base, "abc", ""},
      {"<< /Type /Catalog /S <6162> /N 1 >>", "abc", ""},  // a string is its bytes
      {"<< /Type /Catalog /S (ab) /N 1 /Extensions << /ADBE 1 >> >>", "abc", ""},  // the catalog may gain it
      {"<< /Type /Catalog /S (ac) /N 1 >>", "abc", "PdfDocumentComparer:object 1 0 differs"},
      {"<< /Type /Catalog /S (ab) /N 1.0 >>", "abc", "PdfDocumentComparer:object 1 0 differs"},
      {"<< /Type /Catalog /S (ab) >>", "abc", "PdfDocumentComparer:object 1 0 differs"},
      {"<< /Type /Catalog /S [(ab)] /N 1 >>", "abc", "PdfDocumentComparer:object 1 0 differs"},
      {base, "abd", "PdfDocumentComparer:object 2 0 differs"},
      {base, "abcd", "PdfDocumentComparer:object 2 0 differs"},
  };
  for (const auto& row : rows) {
    Doc expected(File(base)), actual(File(row.written, row.data));
    ASSERT_EQ(expected.Parse() + actual.Parse(), "");
    EXPECT_EQ(pdftest::ErrorOf([&] { PdfDocumentComparer::Compare(expected.parser, actual.parser); }), row.error)
        << row.written << " " << row.data;
  }
}

using Code = PdfErrorReport::Code;

TEST(PdfErrorReport, LibraryTextsToCodesAndSentences) {
  const struct { const char* text; int os_error; Code code; const char* message; } rows[] = {
      {"PdfParser::Abrir:fopen", ENOENT, Code::kOpenFailed, "cannot open in.pdf: No such file or directory"},
      {"PdfParser::Abrir:fopen", 0, Code::kOpenFailed, "cannot open in.pdf"},
      {"No es archivo pdf.", 0, Code::kNotPdf, "in.pdf is not a PDF file"},
      {"Encrypted", 0, Code::kEncrypted, "in.pdf is already encrypted (use --input-password to re-encrypt)"},
      {"PdfFileParser::LeerStartAddress:no %%EOF", 0, Code::kDamaged,
       "in.pdf is damaged: it does not end with %%EOF; the file may be truncated"},
      {"PdfFileParser::OffsetObjeto:Referencia", 0, Code::kDamaged, "in.pdf is damaged: an object it lists is missing"},
      {"PdfArray::GetValue. Out of range index.", 0, Code::kDamaged,
       "in.pdf is damaged: PdfArray::GetValue. Out of range index."},
      {"PdfParser::NextToken:Limit", 0, Code::kLimitExceeded,
       "in.pdf goes beyond a limit set against hostile files: PdfParser::NextToken:Limit"},
      {"PdfFileParser::ParseValue:nesting too deep", 0, Code::kLimitExceeded,
       "in.pdf goes beyond a limit set against hostile files: PdfFileParser::ParseValue:nesting too deep"},
      {"out of memory", 0, Code::kLimitExceeded, "in.pdf needs more memory than is available"},
      {"PdfFileWriter::Write:output", 0, Code::kOutputFailed, "cannot write the copy of in.pdf"},
  };
  for (const auto& row : rows) {
    const PdfErrorReport r = PdfErrorReport::FromLibraryText(row.text, "in.pdf", row.os_error);
    EXPECT_EQ(r.code, row.code) << row.text;
    EXPECT_EQ(r.message, row.message);
    EXPECT_EQ(r.detail, row.text);
  }
  EXPECT_STREQ(PdfErrorReport::CodeName(Code::kOwnerPasswordRequired), "owner_password_required");
}

}  // namespace
