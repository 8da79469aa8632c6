#pragma once
#include "crypt/pdfrevision6securityhandler.h"

// Revision 5, the withdrawn draft of AES-256 that some files still carry:
// the layout of revision 6 with a single SHA-256 of the password, the salt
// and (for the owner) U as the hash. /Perms is checked as revision 6
// checks it (a mismatch is a warning). Read only.
class PdfRevision5SecurityHandler : public PdfRevision6SecurityHandler {
 public:
  int Revision() const override { return 5; }

 protected:
  SecretString PasswordHash(std::string_view password, std::string_view salt,
                            std::string_view user_value) const override;
};
