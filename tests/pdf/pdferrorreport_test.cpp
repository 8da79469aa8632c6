#include "pdf/pdferrorreport.h"

#include <cerrno>

#include <gtest/gtest.h>

namespace {

using Code = PdfErrorReport::Code;

TEST(PdfErrorReport, LibraryTextsToCodesAndSentences) {
  struct Row {
    const char* text;
    int os_error;
    Code code;
    const char* message;
  };
  const Row rows[] = {
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
  for (const Row& row : rows) {
    const PdfErrorReport r = PdfErrorReport::FromLibraryText(row.text, "in.pdf", row.os_error);
    EXPECT_EQ(r.code, row.code) << row.text;
    EXPECT_EQ(r.message, row.message);
    EXPECT_EQ(r.detail, row.text);
  }
  EXPECT_STREQ(PdfErrorReport::CodeName(Code::kOwnerPasswordRequired), "owner_password_required");
}

}  // namespace
