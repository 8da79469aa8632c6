#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "crypt/pdfsecurityhandler.h"
#include "crypt/pdfstandardsecurityhandler.h"

class Identity;
class RecipientCertificate;

// The public-key security handler (/Filter /Adobe.PubSec, /SubFilter
// /adbe.pkcs7.s5): no passwords, but a 20-byte seed sealed with 4 bytes of
// permissions in a CMS envelope for each recipient's certificate. The file
// key is the digest of the seed and of every envelope in order (and of
// FF FF FF FF when the metadata stays clear): SHA-256 for /V 5 (AESV3, the
// key used as it is), the first 16 bytes of SHA-1 for /V 4 (AESV2, salted
// per object as revision 4 is). Recipients that share their permissions
// share one envelope, with one RecipientInfo each. Other writers' files
// with RC4 data (/V 1 to 4 with /V2 crypt filters, /SubFilter s3 and s4)
// are read too: their file key is the first /Length bits of the SHA-1
// digest, and the object keys those of the Standard handler's RC4.
class PdfPublicKeySecurityHandler : public PdfSecurityHandler {
 public:
  static constexpr size_t kSeedBytes = 20;
  // Every permission, for recipients who may do anything (owners).
  static constexpr int32_t kEveryPermission = -4;  // 0xFFFFFFFC: all bits but the reserved 1 and 2

  struct Recipient {
    const RecipientCertificate* certificate;
    int32_t permissions;  // /P-style bits as stored
  };

  // version: the Encrypt dictionary's /V, 4 (AES-128) or 5 (AES-256) when
  // writing; when reading 1 to 3 too, with key_bytes of RC4 key (5 to 16).
  explicit PdfPublicKeySecurityHandler(int version, bool encrypt_metadata = true, size_t key_bytes = 16);
  ~PdfPublicKeySecurityHandler() override;

  // The writing side: a fresh seed and identifier, the envelopes, the keys.
  void Seal(const std::vector<Recipient>& recipients);
  // The reading side: the envelope the identity opens (throws "PdfDecryption:
  // not a recipient" when none does, "PdfPublicKeySecurityHandler:seed
  // length" when it holds no 24 bytes), its permissions, and the file key.
  void Open(const std::vector<std::string>& envelopes, const Identity& identity);
  // After Open: how many recipients the envelopes name in all, and which
  // one (1-based, in envelope order) the identity is.
  size_t RecipientCount() const { return recipient_count_; }
  size_t MatchedRecipient() const { return matched_; }

  int Revision() const override { return 0; }
  Cipher DataCipher() const override { return version_ >= 4 ? Cipher::kAes : Cipher::kRc4; }
  SecretString ObjectKeyBytes(int64_t number, int64_t generation) const override;
  SecretString ObjectKeyFor(int64_t number, int64_t generation, Cipher cipher) const override;
  std::unique_ptr<PdfObjectCipher> NewCipher(Cipher method) const override;
  bool KeyPerObject() const override { return version_ != 5; }
  std::string EncryptDictionaryEntries() const override;
  const char* HeaderVersion() const override { return version_ == 5 ? "1.7" : "1.6"; }
  int ExtensionLevel() const override { return version_ == 5 ? 8 : 0; }
  int32_t GetPermissions() const override { return permissions_; }
  const std::string& GetIdentifier() const override { return identifier_; }

  // Passwords do not open this handler's documents, nor make them.
  Access Authenticate(const EncryptValues&, std::string_view) override { return Access::kNone; }
  void ComputeKeys(std::string_view, std::string_view, const std::string&) override;
  bool PreparePassword(std::string_view, bool, SecretString*) const override { return false; }
  size_t PasswordBytesThatCount() const override { return 0; }

 private:
  void DeriveFileKey(const SecretString& seed);

  int version_;
  bool encrypt_metadata_;
  size_t key_bytes_;
  PdfStandardSecurityHandler rc4_keys_;  // RC4's object keys from the file key
  std::vector<std::string> envelopes_;
  SecretString file_key_;
  std::string identifier_;
  int32_t permissions_ = kEveryPermission;
  size_t recipient_count_ = 0;
  size_t matched_ = 0;
};
