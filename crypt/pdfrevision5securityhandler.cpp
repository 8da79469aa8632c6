#include "crypt/pdfrevision5securityhandler.h"

#include "crypt/sha2.h"

SecretString PdfRevision5SecurityHandler::PasswordHash(std::string_view password, std::string_view salt,
                                                       std::string_view user_value) const {
  SecretString input(password);
  input.append(salt).append(user_value);
  return Sha2::Digest(256, input);
}
