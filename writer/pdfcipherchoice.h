#pragma once
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "crypt/secretstring.h"

class PdfFileWriter;

// The ciphers a caller can ask for by name, and what each needs: how its
// passwords are turned into bytes and which writer writes it.
//   rc4-128  revision 3, 128-bit RC4 (what readers of any age open)
//   aes-128  revision 4, AESV2
//   aes-256  revision 6, AESV3
class PdfCipherChoice {
 public:
  enum class Cipher { kRc4_128, kAes128, kAes256 };

  // false for any other name.
  static bool Parse(const std::string& name, Cipher* cipher);
  // The password bytes the revision hashes: PDFDocEncoding for revisions 3
  // and 4, UTF-8 after SASLprep for revision 6. false when the password
  // cannot be represented so (out untouched).
  static bool PreparePassword(Cipher cipher, std::string_view utf8, SecretString* out);
  // How many bytes of a prepared password count (32 or 127).
  static size_t PasswordBytesThatCount(Cipher cipher);
  // A writer with its keys computed. Passwords are prepared bytes; an
  // empty owner password is replaced by random letters nobody keeps.
  static std::unique_ptr<PdfFileWriter> NewWriter(Cipher cipher, std::string_view user, std::string_view owner,
                                                  const std::string& permissions);
};
