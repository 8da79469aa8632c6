#include "crypt/pdfrevision4securityhandler.h"

// Algorithm 1 with the AES salt: MD5 of the file key, the 3 low bytes of
// the object number and the 2 low bytes of the generation (low byte first),
// and "sAlT"; the key is the first 16 bytes of the digest.
SecretString PdfRevision4SecurityHandler::ObjectKeyBytes(int64_t number, int64_t generation) const {
  return ObjectKeyFor(number, generation, Cipher::kAes);
}

std::string PdfRevision4SecurityHandler::EncryptDictionaryEntries() const {
  return "/CF << /StdCF << /AuthEvent /DocOpen /CFM /AESV2 /Length 16 >> >>\n/Filter /Standard\n/Length 128\n/O <" +
         Hex(GetOwnerValue()) + ">\n/P " + std::to_string(GetPermissions()) +
         "\n/R 4\n/StmF /StdCF\n/StrF /StdCF\n/U <" + Hex(GetUserValue()) + ">\n/V 4\n";
}
