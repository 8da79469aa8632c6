#include "crypt/pdfstandardsecurityhandler.h"

#include <gtest/gtest.h>

#include <string>

#include "crypt/rc4.h"
#include "pdf/kelvraruntimeerror.h"
#include "writer/pdfsyntaxformatter.h"

namespace {

using Handler = PdfStandardSecurityHandler;
std::string FromHex(const std::string& hex) { return PdfSyntaxFormatter::HexToBytes(hex); }
const std::string kFixedId = "ABCDEFGHIJKLMNOP";

TEST(PdfStandardSecurityHandler, PermissionValues) {
  const std::pair<const char*, int32_t> rows[] = {
      {"", -3904},        // nothing granted: only the fixed bits
      {"PMCASD", -772},   // every letter
      {"DSACMP", -772},   // order does not matter
      {"D", -3900},       // degraded printing only
      {"P", -1852},       // printing includes high quality (0x800)
      {"p", -3904},       // letters are case-sensitive
      {"xPxP-7", -1852},  // other characters and repeats are ignored
  };
  for (const auto& row : rows) {
    Handler h;
    h.ComputeKeys("u", "o", row.first, kFixedId);
    EXPECT_EQ(h.GetPermissions(), row.second) << row.first;
  }
  Handler h;
  EXPECT_THROW(h.ComputeKeys("u", "o", "", "SHORT"), _kelvra_runtime_error) << "a fixed identifier has 16 bytes";
  EXPECT_THROW(h.ComputeKeys("u", "o", "", std::string(17, 'A')), _kelvra_runtime_error);
}

TEST(PdfStandardSecurityHandler, PadPassword) {
  const std::string pad = FromHex("28BF4E5E4E758A4164004E56FFFA01082E2E00B6D0683E802F0CA9FE6453697A");
  const std::string x32(32, 'x');
  const std::pair<std::string, std::string> rows[] = {
      {"", pad}, {x32.substr(1), x32.substr(1) + "\x28"}, {x32, x32}, {x32 + "01234567", x32},  // 31, 32, 40 bytes
      {std::string("a\0b", 3), std::string("a\0b", 3) + pad.substr(0, 29)},                    // zero bytes kept
  };
  for (const auto& row : rows) EXPECT_EQ(Handler::PadPassword(row.first), row.second) << row.first.size();
}

TEST(PdfStandardSecurityHandler, RandomLettersCoverAToYOnly) {
  // 16000 letters, each of the 25 about 640 times: a modulo or range mistake
  // shows as a missing letter, a "Z" or a strong skew.
  int counts[26] = {};
  for (int k = 0; k < 1000; ++k)
    for (char c : Handler::GenerateRandomString()) {
      ASSERT_TRUE(c >= 'A' && c <= 'Y') << c;
      ++counts[c - 'A'];
    }
  for (int k = 0; k < 25; ++k) EXPECT_TRUE(counts[k] > 450 && counts[k] < 850) << static_cast<char>('A' + k);
  // Identifiers are such letters, different each time; an empty owner
  // password is replaced by random letters, so O is not repeatable.
  Handler a, b;
  a.ComputeKeys("user", "", "");
  b.ComputeKeys("user", "", "");
  EXPECT_EQ(a.GetIdentifier().size(), 16u);
  EXPECT_EQ(a.GetIdentifier().find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXY"), std::string::npos);
  EXPECT_NE(a.GetIdentifier(), b.GetIdentifier());
  Handler fixed1, fixed2;
  fixed1.ComputeKeys("user", "", "", kFixedId);
  fixed2.ComputeKeys("user", "", "", kFixedId);
  EXPECT_NE(fixed1.GetOwnerValue(), fixed2.GetOwnerValue());
  EXPECT_NE(fixed1.GetOwnerValue(), Handler::ComputeOwnerValue(Handler::PadPassword("user"), Handler::PadPassword("")));
}

// Known answers from files encrypted by qpdf 11.3 (RC4, 128 bits, R3):
//   qpdf --allow-weak-crypto --encrypt USER OWNER 128 --use-aes=n [restrictions] -- in.pdf out.pdf
// /ID, /O and /U read from the output, file keys from --show-encryption-key.
TEST(PdfStandardSecurityHandler, MatchesQpdf) {
  const struct { const char *user, *owner, *letters; int32_t p; const char *id, *o, *u, *key; } rows[] = {
      // --print=full --modify=none --extract=y --annotate=n --form=n --assemble=n --accessibility=n
      {"user pw", "owner", "PC", -1836, "DF9F9C87A10E1D92F0BA408982849944",
       "0BA3835F80363AFE1675805750AFC126D45489D3129FDBEFB888FDE8D6474FA0", "172F91CE5054973CBAAABA13B91ED4FB", "52bcba4f6e310796887517f28d06adf5"},
      // every restriction on
      {"", "secret", "", -3904, "70AEED88CABE761AA1927A2C34527687",
       "5588040988E54A8AE991AC9D80AAC232A494D494B4BCC37A4DCC6D07206C9192", "5C577D0422004B664D71123E1C65BF7D", "c98bcdc0393ed42ee96793f1ed278a74"},
  };
  for (const auto& row : rows) {
    Handler h;
    h.ComputeKeys(row.user, row.owner, row.letters, FromHex(row.id));
    EXPECT_EQ(h.GetPermissions(), row.p) << row.owner;
    EXPECT_EQ(h.GetOwnerValue(), FromHex(row.o)) << row.owner;
    EXPECT_EQ(h.GetUserValue().substr(0, 16), FromHex(row.u)) << row.owner;
    EXPECT_EQ(h.GetFileKey(), FromHex(row.key)) << row.owner;
  }
  // qpdf's default P = -4 sets bits no letter grants: the file key takes P
  // as given, all four bytes. Empty user password, owner "Owner(pw)".
  const std::string o = Handler::ComputeOwnerValue(Handler::PadPassword(""), Handler::PadPassword("Owner(pw)"));
  EXPECT_EQ(o, FromHex("575F59DF8F3A1C52F292B6A53C7026BC669BC49B9216C9333A5A6DF6F206DA8D"));
  Handler h;
  h.ComputeFileKey(FromHex("70AEED88CABE761AA1927A2C34527687"), Handler::PadPassword(""), o, -4);
  h.ComputeUserValue();
  EXPECT_EQ(h.GetFileKey(), FromHex("b0e62a48908ad44015207175644d1764"));
  EXPECT_EQ(h.GetUserValue().substr(0, 16), FromHex("BD27618A33DE47435B1A57EB45690156"));

  // Object keys decrypt qpdf's output: object 2's /CreationDate, object 6's stream data.
  h.ComputeKeys(rows[0].user, rows[0].owner, rows[0].letters, FromHex(rows[0].id));
  std::string s = FromHex("b0a56366b1a0a2561c39dcba3945d7d4a247ac3377b212");
  h.EncryptObjectData(2, 0, reinterpret_cast<uint8_t*>(&s[0]), s.size());
  EXPECT_EQ(s, "D:20230410074654Z07'46'");
  std::string data = FromHex("0a2cb0ff0bb97037a3753f5fd939dc044dc96aa3d03a46b25c59da8aadabf7d14e7fb87fea217e16addad0cbdd8d"
                             "e52059230efc7235a2e073ccc4061feb327d511aca288d6cd5d842e45524");
  h.EncryptObjectData(6, 0, reinterpret_cast<uint8_t*>(&data[0]), data.size());
  EXPECT_EQ(data, FromHex("789c3352f0e232d033355728e7720a51d07733543034d2333050084953700d010919999beb99982b9"
                          "85b9aea999b2b84a4286878a4e6e4e4eb2884e717e5a4286a2a84648154020035cc10bf"));
}

TEST(PdfStandardSecurityHandler, ObjectKeyUsesLowBytesOfNumbers) {
  Handler h;
  h.ComputeKeys("u", "o", "", kFixedId);
  auto key = [&h](int num, int gen) {
    std::string k(16, '\0');
    h.ObjectKey(num, gen, reinterpret_cast<uint8_t*>(&k[0]));
    return k;
  };
  EXPECT_NE(key(7, 0), key(8, 0));
  EXPECT_NE(key(7, 0), key(7, 1));
  EXPECT_NE(key(1, 0), key(256, 0));            // second byte of the number counts
  EXPECT_NE(key(1, 0), key(65536 + 1, 0));      // third byte too
  EXPECT_EQ(key(1, 0), key((1 << 24) + 1, 0));  // only three bytes of the number
  EXPECT_EQ(key(1, 2), key(1, 65536 + 2));      // only two bytes of the generation
}

}  // namespace
