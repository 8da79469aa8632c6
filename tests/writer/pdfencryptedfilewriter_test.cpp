#include "writer/pdfencryptedfilewriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>

#include "base/pdflimits.h"
#include "pdf/pdfdiccionario.h"
#include "tests/pdfbuilder.h"
#include "writer/pdfcipherchoice.h"

namespace {

using namespace pdftest;

const std::string kFixedId = "ABCDEFGHIJKLMNOP";

// The checked-in input gives the checked-in output; VARNEL_REGENERATE_GOLDEN=1 writes it anew (check with qpdf).
TEST(PdfEncryptedFileWriter, GoldenFile) {
  const std::string golden_path = VARNEL_TEST_DATA "/writer_golden.golden.pdf";
  PdfEncryptedFileWriter w("golden-user", "golden-owner", "PCS", kFixedId);
  const std::string out = Rewrite(w, ReadFile(VARNEL_TEST_DATA "/writer_golden_input.pdf"));
  const char* regenerate = std::getenv("VARNEL_REGENERATE_GOLDEN");
  if (regenerate != nullptr && *regenerate != '\0') std::ofstream(golden_path, std::ios::binary) << out;
  const std::string golden = ReadFile(golden_path);
  const size_t differs = std::mismatch(out.begin(), out.end(), golden.begin(), golden.end()).first - out.begin();
  EXPECT_TRUE(out == golden) << "output differs from " << golden_path << " at byte " << differs;
}

TEST(ObjectCipher, StreamOverSeveralCopyChunks) {
  std::string data(2 * pdflimits::kCopyChunkBytes + 123, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 29 + (i >> 11));
  PdfBuilder b;
  b.Obj(1, "<< /Type /Catalog >>");
  b.Stream(2, "/A (one) /B [(two) [<00FF0A29>] << /C (x\\(y\\)) >> (one)] /E ()", "payload");
  b.Obj(3, "(one)");
  b.Obj(4, "(one)", 1);
  b.Stream(5, "", "");
  b.Stream(7, "", "small", "70");
  b.Stream(8, "", data);
  PdfEncryptedFileWriter w("u", "owner", "", kFixedId);
  const std::string out = Rewrite(
      w, b.Finish(b.Table({FreeAt(0, 65535), InUse(1), InUse(2), InUse(3), InUse(4, 1), InUse(5), InUse(7), InUse(8)},
                          "/Root 1 0 R")));
  const WrittenXRef x = ReadXRef(out);

  // Each piece encrypted on its own key schedule; as a literal string, escaped, with the space after it.
  auto enc = [&w](int number, int generation, std::string s) {
    w.SecurityHandler().EncryptObjectData(number, generation, reinterpret_cast<uint8_t*>(&s[0]), s.size());
    return s;
  };
  auto lit = [&enc](int number, int generation, const std::string& s) {
    return "(" + PdfSyntaxFormatter::EscapeLiteralString(enc(number, generation, s)) + ") ";
  };
  EXPECT_EQ(ObjectBody(out, x, 2), "<<\n/A " + lit(2, 0, "one") + "\n/B  [ " + lit(2, 0, "two") + " [ " +
                                       lit(2, 0, std::string("\0\xFF\n)", 4)) + "] <<\n/C " + lit(2, 0, "x(y)") +
                                       "\n>>\n" + lit(2, 0, "one") + "] \n/E " + lit(2, 0, "") +
                                       "\n/Length 7 \n>>\nstream\n" + enc(2, 0, "payload") + "\nendstream\n");
  EXPECT_EQ(ObjectBody(out, x, 3), lit(3, 0, "one"));
  EXPECT_EQ(ObjectBody(out, x, 4), lit(4, 1, "one")) << "the generation is part of the key";
  EXPECT_EQ(ObjectBody(out, x, 5), "<<\n/Length 0 \n>>\nstream\n\nendstream\n");
  EXPECT_EQ(ObjectBody(out, x, 7), "<<\n/Length 5 \n>>\nstream\n" + enc(7, 0, "small") + "\nendstream\n");
  EXPECT_TRUE(ObjectBody(out, x, 8) ==
              "<<\n/Length " + std::to_string(data.size()) + " \n>>\nstream\n" + enc(8, 0, data) + "\nendstream\n");
}

// The /Contents bytes of object number, read with password u.
std::string ContentsOf(const std::string& pdf, const std::string& number) {
  Doc doc(pdf);
  doc.parser.SetPassword("u", false);
  EXPECT_EQ(doc.Parse(), "");
  auto* d = static_cast<PdfDiccionario*>(doc.Get(number + " 0 R"));
  PdfValue* v = d->GetValue("/Contents", true);
  return v->native_type == NATIVE_HEXSTRING ? Unhex(v->text) : v->text;
}

// Signature /Contents (by /Type or by a field's /V) stay clear; other /Contents are encrypted, and still read so.
TEST(Signatures, ContentsNeverEncrypted) {
  const std::string der[] = {Unhex("3003020101"), Unhex("3003020102"), Unhex("3003020103")};
  PdfBuilder b;
  b.Obj(1, "<< /Type /Catalog /AcroForm << /Fields [2 0 R 4 0 R] >> >>");
  b.Obj(2, "<< /FT /Sig /T (a) /V 3 0 R >>");
  b.Obj(3, "<< /Type /Sig /Filter /Adobe.PPKLite /ByteRange [0 1 2 3] /Contents <3003020101> >>");
  b.Obj(4, "<< /FT /Sig /T (b) /V 5 0 R >>");
  b.Obj(5, "<< /Contents <3003020102> /M (D:2024) >>");
  b.Obj(6, "<< /Type /Xig /Contents <3003020103> >>");  // made a signature after writing
  b.Obj(7, "<< /Contents (plain) >>");
  const std::string input = b.Finish(
      b.Table({FreeAt(0, 65535), InUse(1), InUse(2), InUse(3), InUse(4), InUse(5), InUse(6), InUse(7)}, "/Root 1 0 R"));
  using Cipher = PdfCipherChoice::Cipher;
  for (Cipher cipher : {Cipher::kRc4_128, Cipher::kAes128, Cipher::kAes256}) {
    std::string out = Rewrite(*PdfCipherChoice::NewWriter(cipher, "u", "o", ""), input);
    for (int i = 0; i < 2; ++i) {
      EXPECT_NE(out.find("(" + PdfSyntaxFormatter::EscapeLiteralString(der[i]) + ")"), std::string::npos) << i;
      EXPECT_EQ(ContentsOf(out, std::to_string(3 + 2 * i)), der[i]) << static_cast<int>(cipher);
    }
    EXPECT_EQ(out.find("(" + PdfSyntaxFormatter::EscapeLiteralString(der[2]) + ")"), std::string::npos);
    EXPECT_EQ(out.find("(plain)"), std::string::npos);
    out.replace(out.find("/Xig"), 4, "/Sig");
    EXPECT_EQ(ContentsOf(out, "6"), der[2]) << "as an older writer left it";
  }
}

}  // namespace
