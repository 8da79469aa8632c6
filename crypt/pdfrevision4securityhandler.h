#pragma once
#include "crypt/pdfstandardsecurityhandler.h"

// Revision 4 with the AESV2 crypt filter (/V 4, 128-bit AES): the keys of
// revision 3 (MD5 from the padded passwords and the identifier), and the
// key of each object salted with "sAlT" before the digest. Content
// extraction for accessibility is always granted.
class PdfRevision4SecurityHandler : public PdfStandardSecurityHandler {
 public:
  int Revision() const override { return 4; }
  Cipher DataCipher() const override { return Cipher::kAes; }
  SecretString ObjectKeyBytes(int64_t number, int64_t generation) const override;
  std::string EncryptDictionaryEntries() const override;
  const char* HeaderVersion() const override { return "1.6"; }
  uint32_t RequiredPermissionBits() const override { return 0x200; }
};
