#include <gtest/gtest.h>

#include <string>

#include "pdf/pdfdiccionario.h"
#include "tests/pdfbuilder.h"
#include "writer/pdfcipherchoice.h"

namespace {

using namespace pdftest;

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
