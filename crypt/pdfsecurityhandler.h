#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "crypt/pdfobjectcipher.h"
#include "crypt/secretstring.h"

// What every revision of the Standard security handler offers the writer
// (and the reader that opens what it wrote): the Encrypt dictionary, the
// file identifier, the permissions, and the key of each object. A revision
// is a class of its own deriving from this one; the writers pick the cipher
// the revision names and never branch on the revision number elsewhere:
// what differs from one revision to the next is asked of the handler.
class PdfSecurityHandler {
 public:
  enum class Cipher { kRc4, kAes };
  // Which password opened a document.
  enum class Access { kNone, kUser, kOwner };

  // What a reader found in an Encrypt dictionary (strings as bytes) and
  // the file identifier's first element. key_bytes: the file key length
  // the dictionary asks for (revisions 2 to 4).
  struct EncryptValues {
    std::string owner_value, user_value, owner_key, user_key, perms, identifier;
    int32_t permissions = 0;
    size_t key_bytes = 16;
    bool encrypt_metadata = true;
  };

  virtual ~PdfSecurityHandler();

  // A reader's handler for the Encrypt dictionary's /V and /R; null when
  // no revision of this library reads that pair.
  static std::unique_ptr<PdfSecurityHandler> ForVersion(int64_t v, int64_t r);

  virtual int Revision() const = 0;
  virtual Cipher DataCipher() const = 0;
  // The key that encrypts the strings and streams of one object: 16 bytes
  // for RC4 and AES-128, the 32-byte file key for AES-256.
  virtual SecretString ObjectKeyBytes(int64_t number, int64_t generation) const = 0;
  // Whether ObjectKeyBytes differs from object to object.
  virtual bool KeyPerObject() const { return true; }
  // The lines of the Encrypt dictionary, between "<<" and ">>".
  virtual std::string EncryptDictionaryEntries() const = 0;
  // The version written in the file header ("1.5" ...).
  virtual const char* HeaderVersion() const = 0;

  // The reading side: checks a prepared password (the bytes the revision
  // hashes), as the owner password first, then as the user password. On
  // success the file key is recovered and the values kept; kNone leaves the
  // handler unusable. Values too short for the revision throw
  // "PdfSecurityHandler:bad /O /U".
  virtual Access Authenticate(const EncryptValues& values, std::string_view password) = 0;
  // The key of one object's data under the given crypt filter method
  // (revision 4 may use RC4 for some data and AES for the rest).
  virtual SecretString ObjectKeyFor(int64_t number, int64_t generation, Cipher) const {
    return ObjectKeyBytes(number, generation);
  }
  // The cipher of the strings and streams under the given crypt filter
  // method, with the keys as computed or recovered so far (the handler
  // must outlive it); without a method, the one this revision writes.
  virtual std::unique_ptr<PdfObjectCipher> NewCipher(Cipher method) const;
  std::unique_ptr<PdfObjectCipher> NewCipher() const { return NewCipher(DataCipher()); }

  // The writing side: derives every value from the passwords (prepared
  // bytes) and the permission letters. An empty owner password is replaced
  // by 16 random letters nobody keeps.
  virtual void ComputeKeys(std::string_view user, std::string_view owner, const std::string& permissions) = 0;
  // The password bytes the revision hashes, from UTF-8 as typed. stored: a
  // password being set rather than one being checked. false when the
  // password cannot be represented so (out untouched).
  virtual bool PreparePassword(std::string_view utf8, bool stored, SecretString* out) const = 0;
  // How many bytes of a prepared password count.
  virtual size_t PasswordBytesThatCount() const = 0;
  // Whether passwords are Unicode (SASLprep) rather than PDFDocEncoding.
  virtual bool PasswordsInUnicode() const { return false; }
  // Permission bits the revision always grants, whatever the letters say.
  virtual uint32_t RequiredPermissionBits() const { return 0; }
  // Bits the next ComputeKeys grants besides the letters and the required ones.
  void AlsoGrant(uint32_t bits) { also_granted_ = bits; }
  // The extension level the catalog declares (/Extensions /ADBE on base
  // version 1.7) for readers to expect this revision; 0: none.
  virtual int ExtensionLevel() const { return 0; }

  // What authentication found doubtful but let pass (empty: nothing).
  const std::string& Warning() const { return warning_; }

  virtual int32_t GetPermissions() const = 0;
  virtual const std::string& GetIdentifier() const = 0;

  // The Encrypt dictionary as indirect object number (generation 0).
  std::string EncryptObjectText(int64_t number) const;
  // The trailer entries naming it, and the identifier (written twice, as
  // 32 upper-case hexadecimal digits each).
  std::string TrailerEntriesText(int64_t encrypt_number) const;

  // Escapes bytes for use between "(" and ")" of a literal string: backslash
  // and parentheses get a backslash, LF CR TAB BS FF become \n \r \t \b \f,
  // every other byte is copied.
  static std::string EscapeLiteralString(const std::string& bytes);
  // The bytes as upper-case hexadecimal digits.
  static std::string Hex(const std::string& bytes);

 protected:
  // Algorithm 1: MD5 of the file key, the 3 low bytes of the object number
  // and the 2 low bytes of the generation (low byte first), and "sAlT" for
  // AES; the first file key length + 5 bytes of the digest, 16 at most.
  static SecretString Md5ObjectKey(const SecretString& file_key, int64_t number, int64_t generation, bool aes);
  uint32_t GrantedBits() const { return RequiredPermissionBits() | also_granted_; }

  std::string warning_;

 private:
  uint32_t also_granted_ = 0;
};
