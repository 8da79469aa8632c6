#include "crypt/pdfencryptedfilewriter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "crypt/rc4.h"
#include "tests/pdfbuilder.h"

namespace {

using namespace pdftest;

const std::string kFixedId = "ABCDEFGHIJKLMNOP";
const std::string kFixedIdHex = "4142434445464748494A4B4C4D4E4F50";

// The literal strings of a written object body, in order, escapes undone.
std::vector<std::string> LiteralStrings(const std::string& body) {
  std::vector<std::string> out;
  for (size_t i = body.find('('); i != std::string::npos; i = body.find('(', i)) {
    size_t end = i + 1;
    while (body.at(end) != ')') end += body[end] == '\\' ? 2 : 1;
    out.push_back(Unescape(body.substr(i + 1, end - i - 1)));
    i = end;
  }
  return out;
}

// O and U are written escaped; unescaped they are the handler's 32 bytes.
// The owner password is chosen so that O holds a byte that needs escaping.
TEST(PdfEncryptedFileWriter, EncryptDictionary) {
  std::string owner;
  for (int k = 0; owner.empty(); ++k) {
    PdfStandardSecurityHandler h;
    h.ComputeKeys("u", "o" + std::to_string(k), "PC", kFixedId);
    if (h.GetOwnerValue().find_first_of(std::string("()\\\n\r\t\b\f")) != std::string::npos)
      owner = "o" + std::to_string(k);
  }
  PdfEncryptedFileWriter w("u", owner, "PC", kFixedId);
  const std::string out = Rewrite(w, SimpleDocument({}));
  const std::string body = ObjectBody(out, ReadXRef(out), 2);
  const PdfStandardSecurityHandler& h = w.SecurityHandler();
  EXPECT_EQ(body, "<<\n/P " + std::to_string(h.GetPermissions()) +
                      "\n/R 3\n/Filter /Standard\n/Length 128\n/V 2\n/O (" + h.GetEscapedOwnerValue() + ")\n/U (" +
                      h.GetEscapedUserValue() + ")\n>>\n");
  EXPECT_EQ(LiteralStrings(body), (std::vector<std::string>{h.GetOwnerValue(), h.GetUserValue()}));
}

// A checked-in input, encrypted with a fixed identifier and owner password,
// gives exactly the checked-in output. The input holds an object stream,
// a cross-reference stream, a gap in the numbering, /Info and strings that
// need escaping.
//
// To regenerate both files after an intended change of the output, run
//   VARNEL_REGENERATE_GOLDEN=1 test_writer --gtest_filter='*Golden*'
// then check the output with an independent reader, for example
//   qpdf --check --password=golden-user tests/data/writer_golden.golden.pdf
//   qpdf --check --password=golden-owner tests/data/writer_golden.golden.pdf
// The closing cross-reference stream is deflated by the system zlib, so a
// zlib that deflates differently also changes those bytes.
std::string GoldenInput() {
  PdfBuilder b("%PDF-1.5\n%\xE2\xE3\xCF\xD3\n");
  const std::string content = "BT /F1 24 Tf 72 720 Td (Golden \\(test\\)) Tj ET";
  b.Stream(4, "", content);
  b.ObjStm(5, {{1, "<< /Type /Catalog /Pages 2 0 R >>"},
                     {2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>"},
                     {3,
                      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
                      "/Resources << /Font << /F1 7 0 R >> >> >>"}});
  b.Obj(7, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  b.Obj(8, "<< /Title (Golden \\(test\\)\\n) /Author <FEFF0056> /Keywords (a\\\\b) >>");
  return b.Finish(b.XRefStreamOf(9,
                               {FreeAt(0, 65535), InStm(1, 5, 0), InStm(2, 5, 1), InStm(3, 5, 2), InUse(4),
                                InUse(5), InUse(7), InUse(8)},
                               "/Root 1 0 R /Info 8 0 R"));
}

TEST(PdfEncryptedFileWriter, GoldenFile) {
  const std::string dir = VARNEL_TEST_DATA;
  const std::string input_path = dir + "/writer_golden_input.pdf", golden_path = dir + "/writer_golden.golden.pdf";
  const char* regenerate = std::getenv("VARNEL_REGENERATE_GOLDEN");
  if (regenerate != nullptr && *regenerate != '\0') std::ofstream(input_path, std::ios::binary) << GoldenInput();

  std::ifstream in(input_path, std::ios::binary);
  ASSERT_TRUE(in) << input_path;
  const std::string input((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  PdfEncryptedFileWriter w("golden-user", "golden-owner", "PCS", kFixedId);
  const std::string out = Rewrite(w, input);
  if (regenerate != nullptr && *regenerate != '\0') std::ofstream(golden_path, std::ios::binary) << out;

  std::ifstream g(golden_path, std::ios::binary);
  ASSERT_TRUE(g) << golden_path;
  const std::string golden((std::istreambuf_iterator<char>(g)), std::istreambuf_iterator<char>());
  size_t differs = 0;
  while (differs < out.size() && differs < golden.size() && out[differs] == golden[differs]) ++differs;
  EXPECT_TRUE(out == golden) << "output differs from " << golden_path << " at byte " << differs
                             << "; see the comment above to regenerate";
}

}  // namespace
