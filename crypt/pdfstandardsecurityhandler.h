#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "crypt/pdfsecurityhandler.h"

// Key material of the PDF Standard security handler, revision 3, with 128-bit
// RC4 keys (Encrypt dictionary /V 2 /R 3 /Length 128): the permission value P,
// the owner value O, the file identifier, the file key and the user value U,
// and the per-object keys derived from the file key. Filled once by
// ComputeKeys and read-only afterwards.
class PdfStandardSecurityHandler : public PdfSecurityHandler {
 public:
  static constexpr size_t kKeyBytes = 16;
  static constexpr size_t kValueBytes = 32;  // O, U and a padded password

  PdfStandardSecurityHandler();
  ~PdfStandardSecurityHandler() override;

  int Revision() const override { return 3; }
  Cipher DataCipher() const override { return Cipher::kRc4; }
  SecretString ObjectKeyBytes(int64_t number, int64_t generation) const override;
  std::string EncryptDictionaryEntries() const override;
  const char* HeaderVersion() const override { return "1.5"; }
  // Algorithms 6 and 7: the user password opens the file when the U it
  // gives matches; the owner password opens it when the user password
  // recovered with it from O does. Passwords are PDFDocEncoding bytes.
  Access Authenticate(const EncryptValues& values, std::string_view password) override;
  // Algorithm 1 for any file key length (5 to 16 bytes): RC4 keys of
  // length + 5 bytes at most 16, AES keys salted with "sAlT".
  SecretString ObjectKeyFor(int64_t number, int64_t generation, Cipher cipher) const override;
  // RC4 from the 16-byte digest of Algorithm 1, AES from the salted key.
  std::unique_ptr<PdfObjectCipher> NewCipher(Cipher method) const override;
  // PDFDocEncoding bytes, of which the first 32 count.
  bool PreparePassword(std::string_view utf8, bool stored, SecretString* out) const override;
  size_t PasswordBytesThatCount() const override { return kValueBytes; }

  // Derives every field from the passwords (8-bit PDFDocEncoding bytes) and
  // the permission letters. An empty owner password is replaced by 16
  // random letters; the identifier is 16 random letters.
  void ComputeKeys(std::string_view user, std::string_view owner, const std::string& permissions) override;
  // As above, with a caller-chosen identifier of exactly 16 bytes (any
  // values), for reproducible output in tests. An empty fixed_identifier
  // draws a random one.
  void ComputeKeys(std::string_view user, std::string_view owner, const std::string& permissions,
                   const std::string& fixed_identifier);

  // 16 letters "A" to "Y", uniformly drawn from the operating system's
  // secure random source.
  static SecretString GenerateRandomString();
  // The password cut or completed with the standard padding to 32 bytes.
  static SecretString PadPassword(std::string_view password);
  // O from the padded user and owner passwords.
  static std::string ComputeOwnerValue(std::string_view padded_user, std::string_view padded_owner);
  // Stores identifier, O and P, and computes the file key.
  void ComputeFileKey(const std::string& identifier, std::string_view padded_user, const std::string& owner_value,
                      int32_t permissions);
  // Computes U from the stored identifier and file key.
  virtual void ComputeUserValue();

  // The 16-byte RC4 key of one indirect object, for callers that run Rc4
  // themselves over data in chunks.
  void ObjectKey(int num, int gen, uint8_t key[kKeyBytes]) const;
  // Encrypts (or decrypts) len bytes at data in place with the object's key.
  void EncryptObjectData(int num, int gen, uint8_t* data, size_t len) const;

  int32_t GetPermissions() const override { return permissions_; }
  std::string GetEscapedOwnerValue() const { return EscapeLiteralString(owner_value_); }
  std::string GetEscapedUserValue() const { return EscapeLiteralString(user_value_); }
  // The identifier bytes as 32 upper-case hexadecimal digits.
  std::string GetIdHex() const { return Hex(identifier_); }

  const std::string& GetOwnerValue() const { return owner_value_; }
  const std::string& GetUserValue() const { return user_value_; }
  const SecretString& GetFileKey() const { return file_key_; }
  // A file key derived otherwise (the public-key handler's RC4 keys are
  // those of this revision from its own file key).
  void SetFileKey(const SecretString& key) { file_key_ = key; }
  const std::string& GetIdentifier() const override { return identifier_; }

 protected:
  // Rounds of MD5 that strengthen the file key and O's key, and passes of
  // RC4 over O and U (revision 2: none and one).
  virtual int KeyRounds() const { return 50; }
  virtual int CipherPasses() const { return 20; }
  // How many leading bytes of U a computed U must match.
  virtual size_t UserValueBytesChecked() const { return 16; }
  // Sets U (revision 2 computes it its own way).
  void SetUserValue(std::string value) { user_value_ = std::move(value); }
  // Whether the padded password opens the file as the user (file key set).
  bool AuthenticateUser(const EncryptValues& values, std::string_view padded_user);

 private:
  std::string owner_value_;  // O, 32 bytes
  std::string user_value_;   // U, 32 bytes
  SecretString file_key_;    // 16 bytes (5 to 16 when read)
  std::string identifier_;   // 16 bytes (any length when read)
  int32_t permissions_ = 0;  // P
  size_t key_bytes_ = kKeyBytes;
  bool encrypt_metadata_ = true;
};
