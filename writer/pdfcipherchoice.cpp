#include "writer/pdfcipherchoice.h"

#include "crypt/pdfpermissions.h"
#include "crypt/pdfpublickeysecurityhandler.h"
#include "crypt/recipientcertificate.h"
#include "crypt/pdfrevision4securityhandler.h"
#include "crypt/pdfrevision6securityhandler.h"
#include "writer/pdfaesencryptedfilewriter.h"
#include "writer/pdfencryptedfilewriter.h"

bool PdfCipherChoice::Parse(const std::string& name, Cipher* cipher) {
  if (name == "rc4-128") {
    *cipher = Cipher::kRc4_128;
  } else if (name == "aes-128") {
    *cipher = Cipher::kAes128;
  } else if (name == "aes-256") {
    *cipher = Cipher::kAes256;
  } else {
    return false;
  }
  return true;
}

std::unique_ptr<PdfSecurityHandler> PdfCipherChoice::NewHandler(Cipher cipher) {
  switch (cipher) {
    case Cipher::kRc4_128:
      return std::make_unique<PdfStandardSecurityHandler>();
    case Cipher::kAes128:
      return std::make_unique<PdfRevision4SecurityHandler>();
    case Cipher::kAes256:
      break;
  }
  return std::make_unique<PdfRevision6SecurityHandler>();
}

bool PdfCipherChoice::PreparePassword(Cipher cipher, std::string_view utf8, SecretString* out) {
  return NewHandler(cipher)->PreparePassword(utf8, true, out);
}

std::unique_ptr<PdfFileWriter> PdfCipherChoice::NewWriter(Cipher cipher, std::string_view user, std::string_view owner,
                                                          const std::string& permissions) {
  // The writer of revision 3 is the one whose shape is fixed, with its
  // handler inside.
  if (cipher == Cipher::kRc4_128) return std::make_unique<PdfEncryptedFileWriter>(user, owner, permissions);
  std::unique_ptr<PdfSecurityHandler> handler = NewHandler(cipher);
  handler->ComputeKeys(user, owner, permissions);
  return std::make_unique<PdfAesEncryptedFileWriter>(std::move(handler));
}

std::unique_ptr<PdfFileWriter> PdfCipherChoice::NewRecipientWriter(Cipher cipher,
                                                                   const std::vector<RecipientCertificate>& recipients,
                                                                   const std::vector<RecipientCertificate>& owners,
                                                                   const std::string& permissions) {
  std::vector<PdfPublicKeySecurityHandler::Recipient> all;
  // What a recipient may do: the letters, and what AES always grants.
  const int32_t granted = PdfPermissions::Value(permissions, 0x200);
  for (const RecipientCertificate& r : recipients) all.push_back({&r, granted});
  for (const RecipientCertificate& r : owners) all.push_back({&r, PdfPublicKeySecurityHandler::kEveryPermission});
  auto handler = std::make_unique<PdfPublicKeySecurityHandler>(cipher == Cipher::kAes128 ? 4 : 5);
  handler->Seal(all);
  return std::make_unique<PdfAesEncryptedFileWriter>(std::move(handler));
}
