// The security handlers: padding, random letters, object keys, and the revisions against independent computations.
#include <gtest/gtest.h>

#include <string>

#include "crypt/aescbc.h"
#include "crypt/pdfrevision4securityhandler.h"
#include "crypt/pdfrevision6securityhandler.h"
#include "crypt/pdfstandardsecurityhandler.h"
#include "crypt/securerandom.h"
#include "base/kelvraruntimeerror.h"
#include "tests/pdfbuilder.h"

namespace {

using Handler = PdfStandardSecurityHandler;
using pdftest::U8;
using pdftest::Unhex;
const std::string kFixedId = "ABCDEFGHIJKLMNOP";

TEST(PdfStandardSecurityHandler, PadPassword) {
  const std::string pad = Unhex("28BF4E5E4E758A4164004E56FFFA01082E2E00B6D0683E802F0CA9FE6453697A");
  const std::string x32(32, 'x');
  const std::pair<std::string, std::string> rows[] = {
      {"", pad},
      {x32.substr(1), x32.substr(1) + "\x28"},
      {x32 + "01234567", x32},                                               // 31, 40 bytes
      {std::string("a\0b", 3), std::string("a\0b", 3) + pad.substr(0, 29)},  // zero bytes kept
  };
  for (const auto& row : rows) EXPECT_EQ(Handler::PadPassword(row.first).Plain(), row.second) << row.first.size();
}

TEST(PdfStandardSecurityHandler, RandomLettersCoverAToYOnly) {
  // 16000 letters, each of the 25 about 640 times: a missing letter, a "Z" or a strong skew shows.
  int counts[26] = {};
  for (int k = 0; k < 1000; ++k)
    for (char c : Handler::GenerateRandomString()) {
      ASSERT_TRUE(c >= 'A' && c <= 'Y') << c;
      ++counts[c - 'A'];
    }
  for (int k = 0; k < 25; ++k) EXPECT_TRUE(counts[k] > 450 && counts[k] < 850) << static_cast<char>('A' + k);
  // Identifiers, the letters that stand for an empty owner password, revision 6 file keys and salts are random.
  Handler a, b;
  a.ComputeKeys("user", "", "");
  b.ComputeKeys("user", "", "");
  EXPECT_NE(a.GetIdentifier(), b.GetIdentifier());
  EXPECT_NE(a.GetOwnerValue(), Handler::ComputeOwnerValue(Handler::PadPassword("user"), Handler::PadPassword("")));
  SecureRandom random;
  PdfRevision6SecurityHandler r6a, r6b;
  r6a.ComputeKeys("", "", "P", random);
  r6b.ComputeKeys("", "", "P", random);
  EXPECT_NE(r6a.GetFileKey().Plain(), r6b.GetFileKey().Plain());
  EXPECT_NE(r6a.GetUserValue().substr(32), r6b.GetUserValue().substr(32));
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

TEST(Revision6, HashMatchesIndependentReference) {
  const struct {
    const char *password, *salt, *user_value, *hash;  // in hexadecimal
  } rows[] = {
      {"75736572", "0001020304050607", "", "731758c09c8b0160a34721d18bdd24220abada0070aa3f05b8103fd5b8d05f17"},
      {"6f776e6572", "08090a0b0c0d0e0f",
       "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f202122232425262728292a2b2c2d2e2f",
       "400c13628b144fe2fbb850b65729e9ecb63c00fbb817c685725f25de85af0521"},
  };
  for (const auto& row : rows)
    EXPECT_EQ(PdfRevision6SecurityHandler::Hash(Unhex(row.password), Unhex(row.salt), Unhex(row.user_value)).Plain(),
              Unhex(row.hash))
        << row.password;
  // A password of 127 bytes, and a longer one that is cut to the same 127.
  std::string printable;
  for (int c = 33; c < 127; ++c) printable.push_back(static_cast<char>(c));
  for (const std::string& password : {printable + printable.substr(0, 33), printable + printable + printable})
    EXPECT_EQ(PdfRevision6SecurityHandler::Hash(password, "12345678", "").Plain(),
              Unhex("47dcfe865121d20db8e2f8978bc320d16b50909edc169cc810ec15058b17028a"));
}

// P by revision: both AES revisions always grant extraction for accessibility (bit 10); revision 6 repeats P in /Perms.
TEST(Permissions, ValuesByRevisionAndPerms) {
  const struct {
    int revision;
    const char* letters;
    int32_t p;
    const char* perms;  // the first 12 bytes of /Perms decrypted, in hexadecimal
  } rows[] = {
      {3, "", -3904, nullptr},                      // nothing granted: only the fixed bits
      {3, "DSACMP", -772, nullptr},                 // every letter, in any order
      {3, "D", -3900, nullptr},                     // degraded printing only
      {3, "P", -1852, nullptr},                     // printing includes high quality (0x800)
      {3, "xPxp-7", -1852, nullptr},                // other characters, lower case and repeats are ignored
      {4, "C", -3376, nullptr},                     // 0xFFFFF2D0
      {6, "C", -3376, "d0f2ffffffffffff54616462"},  // copy without print
      {6, "PMCASD", -260, "fcfeffffffffffff54616462"},
  };
  SecureRandom random;
  for (const auto& row : rows) {
    if (row.revision < 6) {
      Handler r3;
      PdfRevision4SecurityHandler r4;
      Handler& h = row.revision == 3 ? r3 : r4;
      h.ComputeKeys("u", "o", row.letters, kFixedId);
      EXPECT_EQ(h.GetPermissions(), row.p) << row.revision << " " << row.letters;
      continue;
    }
    PdfRevision6SecurityHandler h;
    h.ComputeKeys("u", "o", row.letters, random);
    EXPECT_EQ(h.GetPermissions(), row.p) << row.letters;
    std::string perms = h.GetPerms();
    AesCbc(U8(h.GetFileKey().Plain()), 32).Decrypt(U8(perms), U8(perms), 16);
    EXPECT_EQ(perms.substr(0, 12), Unhex(row.perms)) << row.letters;
  }
  Handler h;
  EXPECT_THROW(h.ComputeKeys("u", "o", "", "SHORT"), _kelvra_runtime_error) << "a fixed identifier has 16 bytes";
  EXPECT_THROW(h.ComputeKeys("u", "o", "", std::string(17, 'A')), _kelvra_runtime_error);
}

// Revision 4 against hashlib and a plain RC4: O, U, the file key with metadata encrypted or clear, object 7's key.
TEST(Revision4, KeysAgainstAnIndependentComputation) {
  const std::string o = Unhex("0ba3835f88f90388e74e54584125ce142be0de24c6b0d37746e075b891756671");
  const struct {
    bool encrypt_metadata;
    const char *user_value, *file_key, *object_7_3;
  } rows[] = {
      {true, "7a84668e1497906a91cbb65b20df6399", "744dc950e50d669dd0d65e5d120cb591",
       "09f103211e352dbfc3a74f1e0c5d9602"},
      {false, "44b81a00aadaecf3c7038e20bd050bf3", "d6700a4164cf1e37edd3a40bdcb243f1",
       "3af1603f856c215339f1bef9f8e7f176"},
  };
  PdfRevision4SecurityHandler written;
  written.ComputeKeys("user", "owner", "", kFixedId);
  EXPECT_EQ(written.GetOwnerValue(), o);
  EXPECT_EQ(written.GetUserValue().substr(0, 16), Unhex(rows[0].user_value));
  for (const auto& row : rows) {
    PdfSecurityHandler::EncryptValues values;
    values.owner_value = o;
    values.user_value = Unhex(row.user_value) + std::string(16, '\0');
    values.identifier = kFixedId;
    values.permissions = -3392;
    values.encrypt_metadata = row.encrypt_metadata;
    for (const char* password : {"user", "owner"}) {
      PdfRevision4SecurityHandler h;
      EXPECT_NE(h.Authenticate(values, password), PdfSecurityHandler::Access::kNone) << password;
      EXPECT_EQ(h.GetFileKey().Plain(), Unhex(row.file_key)) << row.encrypt_metadata;
      EXPECT_EQ(h.ObjectKeyBytes(7, 3).Plain(), Unhex(row.object_7_3)) << row.encrypt_metadata;
    }
  }
}

}  // namespace
