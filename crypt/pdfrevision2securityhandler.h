#pragma once
#include "crypt/pdfstandardsecurityhandler.h"

// Revision 2 (/V 1 or 2, RC4 with a 40-bit key, or longer under /V 2): the
// keys of revision 3 without the strengthening rounds (one MD5, one pass of
// RC4), and U the padding string encrypted with the file key, all 32 bytes
// of it compared. Read only: Varnel never writes it.
class PdfRevision2SecurityHandler : public PdfStandardSecurityHandler {
 public:
  int Revision() const override { return 2; }
  std::string EncryptDictionaryEntries() const override;
  const char* HeaderVersion() const override { return "1.3"; }
  void ComputeUserValue() override;

 protected:
  int KeyRounds() const override { return 0; }
  int CipherPasses() const override { return 1; }
  size_t UserValueBytesChecked() const override { return kValueBytes; }
};
