#pragma once
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "crypt/secretstring.h"

class PdfFileWriter;
class RecipientCertificate;
class PdfSecurityHandler;

// The ciphers a caller can ask for by name, the handler of each (which
// answers how passwords are prepared and how many bytes count) and the
// writer that writes it.
//   rc4-128  revision 3, 128-bit RC4 (what readers of any age open)
//   aes-128  revision 4, AESV2
//   aes-256  revision 6, AESV3
class PdfCipherChoice {
 public:
  enum class Cipher { kRc4_128, kAes128, kAes256 };

  // false for any other name.
  static bool Parse(const std::string& name, Cipher* cipher);
  // The revision's handler, keys not computed yet.
  static std::unique_ptr<PdfSecurityHandler> NewHandler(Cipher cipher);
  // The password bytes the revision hashes, as a password being set (see
  // PdfSecurityHandler::PreparePassword).
  static bool PreparePassword(Cipher cipher, std::string_view utf8, SecretString* out);
  // A writer with its keys computed. Passwords are prepared bytes; an
  // empty owner password is replaced by random letters nobody keeps.
  static std::unique_ptr<PdfFileWriter> NewWriter(Cipher cipher, std::string_view user, std::string_view owner,
                                                  const std::string& permissions);
  // A writer for named recipients' certificates (aes-128 or aes-256):
  // recipients get the permission letters, owners every right.
  static std::unique_ptr<PdfFileWriter> NewRecipientWriter(Cipher cipher,
                                                           const std::vector<RecipientCertificate>& recipients,
                                                           const std::vector<RecipientCertificate>& owners,
                                                           const std::string& permissions);
};
