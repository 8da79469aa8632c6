#pragma once
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "crypt/secretstring.h"

class Identity;
class PdfDecryption;
class PdfDiccionario;
class PdfFileParser;
class PdfValue;

// The reader's side of decryption: the password it was given, the
// PdfDecryption of the document once its Encrypt dictionary is read, and the
// strings and stored stream data of the objects read, decrypted with it.
class PdfReaderDecryption {
 public:
  explicit PdfReaderDecryption(PdfFileParser& parser);
  ~PdfReaderDecryption();

  // See PdfFileParser::SetPassword.
  void SetPassword(std::string_view utf8, bool need_change_rights);
  // See PdfFileParser::SetIdentity.
  void SetIdentity(std::shared_ptr<const Identity> identity, bool need_change_rights);
  bool HasPassword() const { return has_password_; }
  void TellWhichKey() { tells_key_ = true; }
  // Stops reading, as "Encrypted", at a trailer (or cross-reference stream
  // dictionary) that names an Encrypt dictionary when no key was given and
  // none is to be named: an encrypted input is never encrypted a second
  // time. With TellWhichKey, Open says which key the file needs instead.
  void RefuseEncrypted(PdfDiccionario* trailer) const;
  void LeaveEncrypted() { has_password_ = leave_encrypted_ = true; }
  // Sets up decryption when the trailer names an Encrypt dictionary.
  void Open();
  // Another decryption of the document, with another password.
  std::unique_ptr<PdfDecryption> OpenWith(std::string_view password, const Identity* identity = nullptr);
  // The decryption, null when the file is not encrypted.
  const PdfDecryption* Get() const { return decryption_.get(); }
  bool Active() const { return decryption_ != nullptr; }
  // The number of the Encrypt dictionary (-1: none, or direct).
  int64_t EncryptObjectNumber() const { return encrypt_number_; }
  // Decrypts the strings of indirect object number, just read; only when
  // Active.
  // whole: v is the object's own value (not one nested in it).
  void DecryptStrings(PdfValue* v, int64_t number, int64_t generation, bool whole = false);
  // Decrypts the stored data of stream d in place when the file is
  // encrypted.
  void DecryptStream(PdfDiccionario* d, std::vector<uint8_t>& data);
  // Forgets the decryption (the password stays).
  void Reset();

 private:
  void DecryptSignatureContents(PdfValue* v, int64_t number, int64_t generation);

  PdfFileParser& parser_;
  bool has_password_ = false;
  bool leave_encrypted_ = false;  // Open leaves the file encrypted
  bool tells_key_ = false;        // see TellWhichKey
  bool need_change_rights_ = false;
  SecretString password_;
  std::shared_ptr<const Identity> identity_;
  std::unique_ptr<PdfDecryption> decryption_;
  int64_t encrypt_number_ = -1;
};
