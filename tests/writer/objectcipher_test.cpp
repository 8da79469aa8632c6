// The encrypting writer keeps each object's scheduled RC4 state for the
// object's other strings and its stream. Every string and the stream data
// must still start the key stream afresh, and the next object must get its
// own key.
#include <gtest/gtest.h>

#include <string>

#include "crypt/pdfencryptedfilewriter.h"
#include "pdf/pdflimits.h"
#include "tests/writer/testpdf.h"
#include "writer/pdfsyntaxformatter.h"

namespace {

using namespace testpdf;

TEST(ObjectCipher, EveryStringAndStreamStartsTheKeyStream) {
  PdfBuilder b;
  b.Object(1, "<< /Type /Catalog >>");
  b.Stream(2, "/A (one) /B [(two) (one)]", "payload");
  b.Object(3, "(one)");
  b.Object(4, "(one)", 1);
  PdfEncryptedFileWriter w("u", "owner", "", "ABCDEFGHIJKLMNOP");
  const std::string out =
      Rewrite(w, b.Finish(b.XRefTable({Free(0, 65535), InUse(1), InUse(2), InUse(3), InUse(4, 1)}, "/Root 1 0 R")));
  const WrittenXRef x = ReadXRef(out);

  // Each piece encrypted on its own, with a key schedule of its own.
  auto enc = [&w](int number, int generation, std::string s) {
    w.SecurityHandler().EncryptObjectData(number, generation, reinterpret_cast<uint8_t*>(&s[0]), s.size());
    return s;
  };
  auto lit = [&enc](int number, int generation, const std::string& s) {
    return "(" + PdfSyntaxFormatter::EscapeLiteralString(enc(number, generation, s)) + ") ";
  };
  EXPECT_EQ(ObjectBody(out, x, 2), "<<\n/A " + lit(2, 0, "one") + "\n/B  [ " + lit(2, 0, "two") + lit(2, 0, "one") +
                                       "] \n/Length 7 \n>>\nstream\n" + enc(2, 0, "payload") + "\nendstream\n");
  EXPECT_EQ(ObjectBody(out, x, 3), lit(3, 0, "one"));
  EXPECT_EQ(ObjectBody(out, x, 4), lit(4, 1, "one")) << "the generation is part of the key";
}

// Stream data is copied in chunks, with one key stream running through them.
TEST(ObjectCipher, StreamOverSeveralCopyChunks) {
  std::string data(2 * pdflimits::kCopyChunkBytes + 123, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 29 + (i >> 11));
  PdfBuilder b;
  b.Object(1, "<< /Type /Catalog >>");
  b.Stream(2, "", data);
  PdfEncryptedFileWriter w("u", "owner", "", "ABCDEFGHIJKLMNOP");
  const std::string out = Rewrite(w, b.Finish(b.XRefTable({Free(0, 65535), InUse(1), InUse(2)}, "/Root 1 0 R")));
  std::string expected = data;
  w.SecurityHandler().EncryptObjectData(2, 0, reinterpret_cast<uint8_t*>(&expected[0]), expected.size());
  const std::string head = "<<\n/Length " + std::to_string(data.size()) + " \n>>\nstream\n";
  EXPECT_TRUE(ObjectBody(out, ReadXRef(out), 2) == head + expected + "\nendstream\n");
}

}  // namespace
