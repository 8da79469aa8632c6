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
  for (size_t i = 0; i < body.size(); ++i) {
    if (body[i] != '(') continue;
    std::string s;
    for (++i; body.at(i) != ')'; ++i) {
      if (body[i] != '\\') {
        s.push_back(body[i]);
        continue;
      }
      const char c = body.at(++i);
      const size_t k = std::string("nrtbf").find(c);
      s.push_back(k == std::string::npos ? c : "\n\r\t\b\f"[k]);
    }
    out.push_back(s);
  }
  return out;
}

std::string Decrypt(const PdfEncryptedFileWriter& w, int number, int generation, std::string data) {
  uint8_t key[PdfStandardSecurityHandler::kKeyBytes];
  w.SecurityHandler().ObjectKey(number, generation, key);
  Rc4(key, sizeof key).Crypt(reinterpret_cast<uint8_t*>(&data[0]), data.size());
  return data;
}

// Objects 1 to 3 in: Encrypt dictionary 4, cross-reference stream 5, and
// the closing lines in this order.
TEST(PdfEncryptedFileWriter, EndOfFileLayout) {
  PdfEncryptedFileWriter w("user", "owner", "", kFixedId);
  const std::string out = Rewrite(w, SimpleDocument({"(two)", "<< /Three 3 >>"}));
  const WrittenXRef x = ReadXRef(out);
  EXPECT_EQ(out.compare(0, 9, "%PDF-1.5\n"), 0);
  const std::string head =
      "5 0 obj\n<<\n/Encrypt 4 0 R\n/ID [<" + kFixedIdHex + "><" + kFixedIdHex +
      ">]\n/Index [0 6]\n/Size 6\n/Type /XRef\n/Filter /FlateDecode\n/W [1 4 1]\n/Root 1 0 R\n/Length ";
  EXPECT_EQ(out.compare(static_cast<size_t>(x.start), head.size(), head), 0)
      << out.substr(static_cast<size_t>(x.start));
  EXPECT_EQ(x.raw.size(), 36u);
  EXPECT_EQ(x.entries.at(0), (std::array<uint64_t, 3>{0, 0, 0}));
  EXPECT_EQ(x.entries.at(5), (std::array<uint64_t, 3>{1, static_cast<uint64_t>(x.start), 0}));
  for (int n = 1; n <= 4; ++n) ObjectBody(out, x, n);  // each entry points at its "N 0 obj" line
  EXPECT_EQ(x.Line("/Info"), "");
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

// Every string, nested at any depth, decrypts with its object's key back to
// the bytes read; names, numbers and keys stay plain.
TEST(PdfEncryptedFileWriter, StringsDecryptToInput) {
  PdfBuilder b;
  b.Obj(1, "<< /Type /Catalog >>");
  b.Obj(2, "<< /A (same) /B [ (x\\(y\\)) <00FF0A29> [ (deep) ] ] /C << /D (nested) >> /E () /F (same) >>");
  b.Obj(3, "(same)", 1);
  PdfEncryptedFileWriter w("", "owner", "", kFixedId);
  const std::string out =
      Rewrite(w, b.Finish(b.Table({FreeAt(0, 65535), InUse(1), InUse(2), InUse(3, 1)}, "/Root 1 0 R")));
  const WrittenXRef x = ReadXRef(out);
  const std::string body = ObjectBody(out, x, 2);
  EXPECT_EQ(body.compare(0, 7, "<<\n/A ("), 0);
  EXPECT_NE(body.find("\n/C <<\n/D ("), std::string::npos);
  const std::vector<std::string> expected{"same", "x(y)", std::string("\0\xFF\n)", 4), "deep", "nested", "", "same"};
  std::vector<std::string> found = LiteralStrings(body);
  ASSERT_EQ(found.size(), expected.size());
  for (size_t i = 0; i < found.size(); ++i) EXPECT_EQ(Decrypt(w, 2, 0, found[i]), expected[i]) << i;
  EXPECT_EQ(found[0], found[6]) << "equal strings in one object are equal";
  EXPECT_NE(found[0], "same");
  const std::vector<std::string> three = LiteralStrings(ObjectBody(out, x, 3));
  ASSERT_EQ(three.size(), 1u);
  EXPECT_NE(three[0], found[0]) << "equal strings in different objects differ";
  EXPECT_EQ(Decrypt(w, 3, 1, three[0]), "same") << "the key includes the generation";
}

// Stream data is one RC4 key stream from the start, across the copy's
// 64 KiB chunks; an empty stream stays empty.
TEST(PdfEncryptedFileWriter, StreamsDecryptToInput) {
  std::string big(3 * 65536 + 17, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 131 + (i >> 9));
  PdfBuilder b;
  b.Obj(1, "<< /Type /Catalog >>");
  b.Stream(2, "/Filter /FlateDecode", big);
  b.Stream(3, "", "");
  b.Stream(7, "", "small", "70");
  PdfEncryptedFileWriter w("", "owner", "", kFixedId);
  const std::string out =
      Rewrite(w, b.Finish(b.Table({FreeAt(0, 65535), InUse(1), InUse(2), InUse(3), InUse(7)}, "/Root 1 0 R")));
  const WrittenXRef x = ReadXRef(out);
  const std::string prefix = "<<\n/Filter /FlateDecode \n/Length " + std::to_string(big.size()) + " \n>>\nstream\n";
  const std::string two = ObjectBody(out, x, 2);
  ASSERT_EQ(two.compare(0, prefix.size(), prefix), 0);
  ASSERT_EQ(two.size(), prefix.size() + big.size() + 11);
  EXPECT_TRUE(Decrypt(w, 2, 0, two.substr(prefix.size(), big.size())) == big);
  EXPECT_EQ(ObjectBody(out, x, 3), "<<\n/Length 0 \n>>\nstream\n\nendstream\n");
  const std::string seven = ObjectBody(out, x, 7);
  EXPECT_EQ(Decrypt(w, 7, 0, seven.substr(seven.find("stream\n") + 7, 5)), "small") << "corrected length, own key";
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
