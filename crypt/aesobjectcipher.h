#pragma once
#include <memory>

#include "crypt/aescbc.h"
#include "crypt/pdfobjectcipher.h"
#include "crypt/secretstring.h"
#include "crypt/securerandom.h"

class PdfSecurityHandler;

// AES-CBC with each object's key (revision 4: 16 bytes salted per object;
// revisions 5 and 6: the 32-byte file key for every object). Encrypted data
// is a fresh random 16-byte IV followed by the data with PKCS#7 padding (1
// to 16 bytes, so an empty string becomes 32 bytes). Decrypting, an IV
// alone is an empty value (some producers write empty strings so).
class AesObjectCipher : public PdfObjectCipher {
 public:
  static constexpr size_t kBlock = AesCbc::kBlockBytes;

  // The handler (its keys computed) must outlive the cipher.
  explicit AesObjectCipher(const PdfSecurityHandler& handler);
  ~AesObjectCipher() override;

  uint64_t EncryptedSize(uint64_t n) const override;
  std::string EncryptString(int64_t number, int64_t generation, std::string plain) override;
  size_t Start(int64_t number, int64_t generation, uint8_t* out) override;
  size_t Update(const uint8_t* in, size_t n, uint8_t* out) override;
  size_t Finish(uint8_t* out) override;
  size_t Decrypt(int64_t number, int64_t generation, uint8_t* data, size_t size) override;
  size_t Salvage(int64_t number, int64_t generation, uint8_t* data, size_t size) override;

 private:
  // Decrypts the blocks after the IV at data (size: whole blocks) and moves
  // them to the front; the padding's length, 0 when it is unsound.
  size_t DecryptBlocks(int64_t number, int64_t generation, uint8_t* data, size_t size);
  // Keys the cipher for the object (a context costs more to make than a
  // string to encrypt: it is kept, and keyed again only for a new key).
  void Key(int64_t number, int64_t generation);

  const PdfSecurityHandler& handler_;
  SecureRandom random_;
  std::unique_ptr<AesCbc> aes_;
  SecretString key_;  // the key aes_ holds
  // The object whose key aes_ holds (revision 6: one key for every object).
  int64_t key_number_ = -1, key_generation_ = -1;
  uint8_t pending_[kBlock] = {};  // stream bytes short of a whole block
  size_t pending_bytes_ = 0;
};
