// The public-key handler with envelopes OpenSSL's command line sealed (tests/data/pubsec), and its own.
#include "crypt/pdfpublickeysecurityhandler.h"

#include "crypt/cmsenvelope.h"
#include "crypt/identity.h"
#include "crypt/recipientcertificate.h"
#include "pdfbuilder.h"

using namespace pdftest;

namespace {

std::string Data(const std::string& name) { return ReadFile(VARNEL_TEST_DATA "/pubsec/" + name); }

const Identity& Alice() {
  static const std::shared_ptr<const Identity> alice = Identity::Read(Data("alice.p12"), "pw");
  return *alice;
}

TEST(PdfPublicKeySecurityHandler, OpensWhatOthersSeal) {
  const std::string pkcs1 = Data("pkcs1.der");
  struct {
    std::string envelope;
    const char* error;
  } cases[] = {
      {pkcs1, ""},                                                      // RSA PKCS#1 v1.5, AES-256-CBC
      {Data("oaep.der"), ""},                                           // RSA-OAEP
      {Data("rc2.der"), ""},                                            // RC2, from the legacy provider
      {Data("seed23.der"), "PdfPublicKeySecurityHandler:seed length"},  // 19 bytes of seed
      {Data("carol.der"), "PdfDecryption:not a recipient"},             // for another key only
      {pkcs1.substr(0, pkcs1.size() - 1), "CmsEnvelope:malformed"},     // cut short
      {pkcs1 + '\0', "CmsEnvelope:malformed"},                          // a byte after it
      {Unhex("3003020101"), "CmsEnvelope:malformed"},                   // DER, but no envelope
  };
  for (const auto& c : cases) {
    PdfPublicKeySecurityHandler handler(5);
    EXPECT_EQ(ErrorOf([&] { handler.Open({c.envelope}, Alice()); }), c.error) << c.error;
    if (*c.error == '\0') {
      EXPECT_EQ(handler.GetPermissions(), 0x835);  // most significant byte first
    }
  }
  // The keys of pkcs1.der as hashlib computes them (V 5: SHA-256, V 4: object 7's AESV2 key from SHA-1).
  struct {
    int version;
    bool encrypt_metadata;
    const char* key;
  } keys[] = {
      {5, true, "5272b78d4c3dac00febfe887797a4b1d4fe8c6eae8e8a81eb8f22c05c0c250f9"},
      {5, false, "57ff7ec46e97fbd6f623bd7af75e3ac66f83b315854db2f1a797881ffca1db3f"},
      {4, true, "083162fd5cdf0eec189909c3aac180c7"},
  };
  for (const auto& k : keys) {
    PdfPublicKeySecurityHandler handler(k.version, k.encrypt_metadata);
    handler.Open({pkcs1}, Alice());
    EXPECT_EQ(handler.ObjectKeyBytes(7, 0), SecretString(Unhex(k.key))) << k.key;
  }
  EXPECT_EQ(ErrorOf([] { Identity::Read(Data("alice.p12"), "wrong"); }), "Identity:unreadable");
}

// Sealed and opened again: one envelope per set of permissions, the reader's object keys those of the writer.
TEST(PdfPublicKeySecurityHandler, OpensWhatItSeals) {
  std::vector<RecipientCertificate> alice = RecipientCertificate::Read(Data("alice.pem"), "alice.pem");
  std::vector<RecipientCertificate> carol = RecipientCertificate::Read(Data("carol.pem"), "carol.pem");
  EXPECT_EQ(alice[0].Name(), "alice.pem (/CN=alice)");
  for (const int version : {4, 5}) {
    PdfPublicKeySecurityHandler writer(version);
    writer.Seal({{&carol[0], 0x804}, {&carol[0], 0x804}, {&alice[0], 0x835}});
    const std::string entries = writer.EncryptDictionaryEntries();
    const size_t list = entries.find("/Recipients [");
    ASSERT_NE(list, std::string::npos) << entries;
    std::vector<std::string> envelopes;
    for (size_t at = entries.find('<', list); at < entries.find(']', list); at = entries.find('<', at + 1))
      envelopes.push_back(Unhex(entries.substr(at + 1, entries.find('>', at) - at - 1)));
    ASSERT_EQ(envelopes.size(), 2u);
    PdfPublicKeySecurityHandler reader(version);
    reader.Open(envelopes, Alice());
    EXPECT_EQ(reader.GetPermissions(), 0x835);
    EXPECT_EQ(reader.RecipientCount(), 3u);
    EXPECT_EQ(reader.MatchedRecipient(), 3u);
    EXPECT_EQ(reader.ObjectKeyBytes(7, 0), writer.ObjectKeyBytes(7, 0));
    EXPECT_EQ(reader.ObjectKeyBytes(7, 0).size(), version == 5 ? 32u : 16u);
    EXPECT_EQ(reader.ObjectKeyBytes(7, 0) == reader.ObjectKeyBytes(8, 0), version == 5);
  }
}

}  // namespace
