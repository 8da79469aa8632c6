#include "crypt/pdfrevision4securityhandler.h"

#include <cstring>

#include "crypt/md5.h"

// Algorithm 1 with the AES salt: MD5 of the file key, the 3 low bytes of
// the object number and the 2 low bytes of the generation (low byte first),
// and "sAlT"; the key is the first 16 bytes of the digest.
std::string PdfRevision4SecurityHandler::ObjectKeyBytes(int64_t number, int64_t generation) const {
  const std::string& file_key = GetFileKey();
  uint8_t input[kKeyBytes + 9];
  std::memcpy(input, file_key.data(), file_key.size());
  uint8_t* suffix = input + file_key.size();
  const auto n = static_cast<uint32_t>(number), g = static_cast<uint32_t>(generation);
  suffix[0] = static_cast<uint8_t>(n);
  suffix[1] = static_cast<uint8_t>(n >> 8);
  suffix[2] = static_cast<uint8_t>(n >> 16);
  suffix[3] = static_cast<uint8_t>(g);
  suffix[4] = static_cast<uint8_t>(g >> 8);
  std::memcpy(suffix + 5, "sAlT", 4);
  uint8_t key[Md5::kDigestSize];
  Md5::Digest(input, file_key.size() + 9, key);
  return std::string(reinterpret_cast<const char*>(key), kKeyBytes);
}

std::string PdfRevision4SecurityHandler::EncryptDictionaryEntries() const {
  return "/CF << /StdCF << /AuthEvent /DocOpen /CFM /AESV2 /Length 16 >> >>\n/Filter /Standard\n/Length 128\n/O <" +
         Hex(GetOwnerValue()) + ">\n/P " + std::to_string(GetPermissions()) + "\n/R 4\n/StmF /StdCF\n/StrF /StdCF\n/U <" +
         Hex(GetUserValue()) + ">\n/V 4\n";
}
