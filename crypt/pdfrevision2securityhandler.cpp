#include "crypt/pdfrevision2securityhandler.h"

#include "crypt/rc4.h"

// Algorithm 4.
void PdfRevision2SecurityHandler::ComputeUserValue() {
  std::string user = PadPassword("").Plain();  // encrypted in place: U
  const SecretString& key = GetFileKey();
  Rc4(reinterpret_cast<const uint8_t*>(key.data()), key.size())
      .Crypt(reinterpret_cast<uint8_t*>(&user[0]), user.size());
  SetUserValue(std::move(user));
}

std::string PdfRevision2SecurityHandler::EncryptDictionaryEntries() const {
  return "/P " + std::to_string(GetPermissions()) + "\n/R 2\n/Filter /Standard\n/Length " +
         std::to_string(GetFileKey().size() * 8) + "\n/V 2\n/O <" + Hex(GetOwnerValue()) + ">\n/U <" +
         Hex(GetUserValue()) + ">\n";
}
