#include "crypt/pdfstandardsecurityhandler.h"

#include <gtest/gtest.h>

#include <string>

#include "crypt/rc4.h"
#include "pdf/kelvraruntimeerror.h"

namespace {

using Handler = PdfStandardSecurityHandler;

std::string FromHex(const std::string& hex) {
  std::string out;
  for (size_t k = 0; k + 1 < hex.size(); k += 2)
    out.push_back(static_cast<char>(std::stoi(hex.substr(k, 2), nullptr, 16)));
  return out;
}

const std::string kPadding = FromHex("28BF4E5E4E758A4164004E56FFFA01082E2E00B6D0683E802F0CA9FE6453697A");
const std::string kFixedId = "ABCDEFGHIJKLMNOP";

TEST(PdfStandardSecurityHandler, PermissionValues) {
  const struct {
    const char* letters;
    int32_t p;
  } kCases[] = {
      {"", -3904},         // nothing granted: only the fixed bits
      {"PMCASD", -772},    // every letter
      {"DSACMP", -772},    // order does not matter
      {"D", -3900},        // degraded printing only
      {"P", -1852},        // printing includes high quality (0x800)
      {"p", -3904},        // letters are case-sensitive
      {"xPxP-7", -1852},   // other characters and repeats are ignored
  };
  for (const auto& c : kCases) {
    Handler h;
    h.ComputeKeys("u", "o", c.letters, kFixedId);
    EXPECT_EQ(h.GetPermissions(), c.p) << c.letters;
  }
}

TEST(PdfStandardSecurityHandler, PadPassword) {
  EXPECT_EQ(Handler::PadPassword(""), kPadding);
  // 31 bytes gain the first padding byte; 32 stay; 40 are cut to 32.
  EXPECT_EQ(Handler::PadPassword(std::string(31, 'x')), std::string(31, 'x') + "\x28");
  EXPECT_EQ(Handler::PadPassword(std::string(32, 'x')), std::string(32, 'x'));
  EXPECT_EQ(Handler::PadPassword(std::string(32, 'x') + "01234567"), std::string(32, 'x'));
  // Zero bytes in a password are kept as bytes.
  EXPECT_EQ(Handler::PadPassword(std::string("a\0b", 3)), std::string("a\0b", 3) + kPadding.substr(0, 29));
}

TEST(PdfStandardSecurityHandler, RandomIdentifierAndGeneratedOwner) {
  Handler a, b;
  a.ComputeKeys("user", "", "");
  b.ComputeKeys("user", "", "");
  for (const Handler* h : {&a, &b}) {
    ASSERT_EQ(h->GetIdentifier().size(), 16u);
    for (char c : h->GetIdentifier()) EXPECT_TRUE(c >= 'A' && c <= 'Y') << c;
    std::string hex = h->GetIdHex();
    ASSERT_EQ(hex.size(), 32u);
    for (size_t k = 0; k < 32; k += 2) EXPECT_TRUE(hex.substr(k, 2) >= "41" && hex.substr(k, 2) <= "59") << hex;
  }
  EXPECT_NE(a.GetIdentifier(), b.GetIdentifier());
  // An empty owner password is replaced by random letters, so O is neither
  // the O of an empty owner password nor repeatable.
  Handler fixed1, fixed2;
  fixed1.ComputeKeys("user", "", "", kFixedId);
  fixed2.ComputeKeys("user", "", "", kFixedId);
  EXPECT_NE(fixed1.GetOwnerValue(), fixed2.GetOwnerValue());
  EXPECT_NE(fixed1.GetOwnerValue(),
            Handler::ComputeOwnerValue(Handler::PadPassword("user"), Handler::PadPassword("")));
}

TEST(PdfStandardSecurityHandler, RandomLettersCoverAToYOnly) {
  // 16000 letters: each of the 25 should appear about 640 times; a modulo
  // or range mistake shows as a missing letter, a "Z" or a strong skew.
  int counts[26] = {};
  for (int k = 0; k < 1000; ++k)
    for (char c : Handler::GenerateRandomString()) {
      ASSERT_TRUE(c >= 'A' && c <= 'Y') << c;
      ++counts[c - 'A'];
    }
  for (int k = 0; k < 25; ++k) {
    EXPECT_GT(counts[k], 450) << static_cast<char>('A' + k);
    EXPECT_LT(counts[k], 850) << static_cast<char>('A' + k);
  }
}

TEST(PdfStandardSecurityHandler, FixedIdentifierMustHave16Bytes) {
  Handler h;
  EXPECT_THROW(h.ComputeKeys("u", "o", "", "SHORT"), _kelvra_runtime_error);
  EXPECT_THROW(h.ComputeKeys("u", "o", "", std::string(17, 'A')), _kelvra_runtime_error);
}

TEST(PdfStandardSecurityHandler, IdHexIsUpperCaseOfAnyBytes) {
  Handler h;
  h.ComputeKeys("", "o", "", FromHex("000A0FF0FFABCDEF0123456789ABCDEF"));
  EXPECT_EQ(h.GetIdHex(), "000A0FF0FFABCDEF0123456789ABCDEF");
}

// Known answers from files encrypted by qpdf 11.3 (RC4, 128 bits, R3):
//   qpdf --allow-weak-crypto --encrypt USER OWNER 128 --use-aes=n [restrictions] -- in.pdf out.pdf
// /ID, /O and /U read from the output, file keys from --show-encryption-key.
struct QpdfCase {
  const char* name;
  const char* user;
  const char* owner;
  const char* letters;  // our letters for qpdf's restrictions
  int32_t p;
  const char* id;
  const char* o;
  const char* u;
  const char* key;
};

const QpdfCase kQpdfCases[] = {
    // --print=full --modify=none --extract=y --annotate=n --form=n --assemble=n --accessibility=n
    {"user password, PC", "user pw", "owner", "PC", -1836, "DF9F9C87A10E1D92F0BA408982849944",
     "0BA3835F80363AFE1675805750AFC126D45489D3129FDBEFB888FDE8D6474FA0",
     "172F91CE5054973CBAAABA13B91ED4FB", "52bcba4f6e310796887517f28d06adf5"},
    // every restriction on
    {"empty user password, no letters", "", "secret", "", -3904, "70AEED88CABE761AA1927A2C34527687",
     "5588040988E54A8AE991AC9D80AAC232A494D494B4BCC37A4DCC6D07206C9192",
     "5C577D0422004B664D71123E1C65BF7D", "c98bcdc0393ed42ee96793f1ed278a74"},
};

TEST(PdfStandardSecurityHandler, MatchesQpdfThroughComputeKeys) {
  for (const QpdfCase& c : kQpdfCases) {
    Handler h;
    h.ComputeKeys(c.user, c.owner, c.letters, FromHex(c.id));
    EXPECT_EQ(h.GetPermissions(), c.p) << c.name;
    EXPECT_EQ(h.GetOwnerValue(), FromHex(c.o)) << c.name;
    EXPECT_EQ(h.GetUserValue().substr(0, 16), FromHex(c.u)) << c.name;
    EXPECT_EQ(h.GetFileKey(), FromHex(c.key)) << c.name;
  }
}

TEST(PdfStandardSecurityHandler, MatchesQpdfWithAllPermissionBits) {
  // qpdf's default P = -4 sets bits no letter grants: the file key takes P
  // as given, all four bytes. Empty user password, owner "Owner(pw)".
  const std::string o = Handler::ComputeOwnerValue(Handler::PadPassword(""), Handler::PadPassword("Owner(pw)"));
  EXPECT_EQ(o, FromHex("575F59DF8F3A1C52F292B6A53C7026BC669BC49B9216C9333A5A6DF6F206DA8D"));
  Handler h;
  h.ComputeFileKey(FromHex("70AEED88CABE761AA1927A2C34527687"), Handler::PadPassword(""), o, -4);
  h.ComputeUserValue();
  EXPECT_EQ(h.GetFileKey(), FromHex("b0e62a48908ad44015207175644d1764"));
  EXPECT_EQ(h.GetUserValue().substr(0, 16), FromHex("BD27618A33DE47435B1A57EB45690156"));
  EXPECT_EQ(h.GetPermissions(), -4);
}

TEST(PdfStandardSecurityHandler, ObjectKeysDecryptQpdfOutput) {
  const QpdfCase& c = kQpdfCases[0];
  Handler h;
  h.ComputeKeys(c.user, c.owner, c.letters, FromHex(c.id));
  // Object 2 0: /CreationDate as written encrypted by qpdf.
  std::string s = FromHex("b0a56366b1a0a2561c39dcba3945d7d4a247ac3377b212");
  h.EncryptObjectData(2, 0, reinterpret_cast<uint8_t*>(&s[0]), s.size());
  EXPECT_EQ(s, "D:20230410074654Z07'46'");
  // Object 6 0: stream data, decrypted in uneven chunks with the object key.
  std::string data = FromHex(
      "0a2cb0ff0bb97037a3753f5fd939dc044dc96aa3d03a46b25c59da8aadabf7d14e7fb87fea217e16addad0cbdd8d"
      "e52059230efc7235a2e073ccc4061feb327d511aca288d6cd5d842e45524");
  uint8_t key[16];
  h.ObjectKey(6, 0, key);
  Rc4 rc4(key, sizeof key);
  uint8_t* p = reinterpret_cast<uint8_t*>(&data[0]);
  rc4.Crypt(p, 1);
  rc4.Crypt(p + 1, 30);
  rc4.Crypt(p + 31, data.size() - 31);
  EXPECT_EQ(data, FromHex("789c3352f0e232d033355728e7720a51d07733543034d2333050084953700d010919999beb99982b9"
                          "85b9aea999b2b84a4286878a4e6e4e4eb2884e717e5a4286a2a84648154020035cc10bf"));
}

TEST(PdfStandardSecurityHandler, ObjectKeyUsesLowBytesOfNumbers) {
  Handler h;
  h.ComputeKeys("u", "o", "", kFixedId);
  auto key = [&h](int num, int gen) {
    uint8_t k[16];
    h.ObjectKey(num, gen, k);
    return std::string(reinterpret_cast<char*>(k), 16);
  };
  EXPECT_NE(key(7, 0), key(8, 0));
  EXPECT_NE(key(7, 0), key(7, 1));
  EXPECT_NE(key(1, 0), key(256, 0));             // second byte of the number counts
  EXPECT_NE(key(1, 0), key(65536 + 1, 0));       // third byte too
  EXPECT_EQ(key(1, 0), key((1 << 24) + 1, 0));   // only three bytes of the number
  EXPECT_EQ(key(1, 2), key(1, 65536 + 2));       // only two bytes of the generation
}

}  // namespace
