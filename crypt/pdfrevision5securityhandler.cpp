#include "crypt/pdfrevision5securityhandler.h"

#include "crypt/sha2.h"

std::string PdfRevision5SecurityHandler::PasswordHash(const std::string& password, const std::string& salt,
                                                      const std::string& user_value) const {
  return Sha2::Digest(256, password + salt + user_value);
}
