#include <gtest/gtest.h>

#include <string>

#include "pdf/pdfdocumentcomparer.h"
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
  const struct {
    std::string written, data, error;
  } rows[] = {
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

}  // namespace
