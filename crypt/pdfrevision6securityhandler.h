#pragma once
#include <cstdint>
#include <string>

#include "crypt/pdfsecurityhandler.h"

class SecureRandom;

// Revision 6 (/V 5, AES-256 with the AESV3 crypt filter). The file key is
// 32 random bytes; the passwords (UTF-8 after SASLprep, at most 127 bytes)
// only unlock it: U and O hold a hash of each password with a random
// validation salt, UE and OE the file key encrypted under a hash with a
// second salt, and Perms the permissions encrypted under the file key.
// Every object is encrypted with the file key itself.
class PdfRevision6SecurityHandler : public PdfSecurityHandler {
 public:
  static constexpr size_t kKeyBytes = 32;
  static constexpr size_t kMaxPasswordBytes = 127;

  // Passwords are prepared UTF-8 (SaslPrep) and cut to 127 bytes here. An
  // empty owner password is replaced by 16 random letters. Key, salts,
  // Perms' filler and the identifier come from random.
  void ComputeKeys(std::string_view user, std::string_view owner, const std::string& permissions, SecureRandom& random);
  // As above, from the operating system's secure random source.
  void ComputeKeys(std::string_view user, std::string_view owner, const std::string& permissions) override;
  // UTF-8 after SASLprep, of which the first 127 bytes count.
  bool PreparePassword(std::string_view utf8, bool stored, SecretString* out) const override;
  size_t PasswordBytesThatCount() const override { return kMaxPasswordBytes; }
  bool PasswordsInUnicode() const override { return true; }
  // Content extraction for accessibility is always granted.
  uint32_t RequiredPermissionBits() const override { return 0x200; }
  int ExtensionLevel() const override { return 8; }

  // Algorithm 2.B: the hash of a password with an 8-byte salt and, for the
  // owner, the 48-byte U (empty otherwise). Returns 32 bytes.
  static SecretString Hash(std::string_view password, std::string_view salt, std::string_view user_value);

  // Algorithm 2.A: O and OE for the owner password, U and UE for the user
  // password (prepared UTF-8, cut to 127 bytes); then /Perms, decrypted
  // with the file key, must repeat P and /EncryptMetadata, or Warning()
  // says it does not.
  Access Authenticate(const EncryptValues& values, std::string_view password) override;

  int Revision() const override { return 6; }
  Cipher DataCipher() const override { return Cipher::kAes; }
  SecretString ObjectKeyBytes(int64_t, int64_t) const override { return file_key_; }
  bool KeyPerObject() const override { return false; }
  std::string EncryptDictionaryEntries() const override;
  const char* HeaderVersion() const override { return "1.7"; }
  int32_t GetPermissions() const override { return permissions_; }
  const std::string& GetIdentifier() const override { return identifier_; }

  const SecretString& GetFileKey() const { return file_key_; }
  const std::string& GetUserValue() const { return user_value_; }
  const std::string& GetOwnerValue() const { return owner_value_; }
  const std::string& GetUserKey() const { return user_key_; }
  const std::string& GetOwnerKey() const { return owner_key_; }
  const std::string& GetPerms() const { return perms_; }

 protected:
  // The hash a password is checked and unlocked with: Algorithm 2.B.
  virtual SecretString PasswordHash(std::string_view password, std::string_view salt,
                                    std::string_view user_value) const {
    return Hash(password, salt, user_value);
  }

 private:
  SecretString file_key_;    // 32 bytes
  std::string user_value_;   // U, 48 bytes
  std::string owner_value_;  // O, 48 bytes
  std::string user_key_;     // UE, 32 bytes
  std::string owner_key_;    // OE, 32 bytes
  std::string perms_;        // Perms, 16 bytes
  std::string identifier_;   // 16 bytes
  int32_t permissions_ = 0;  // P
};
