#include "writer/pdfcipherchoice.h"

#include "writer/pdfaesencryptedfilewriter.h"
#include "crypt/pdfdocencoding.h"
#include "writer/pdfencryptedfilewriter.h"
#include "crypt/pdfrevision4securityhandler.h"
#include "crypt/pdfrevision6securityhandler.h"
#include "crypt/saslprep.h"
#include "crypt/securerandom.h"

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

bool PdfCipherChoice::PreparePassword(Cipher cipher, std::string_view utf8, SecretString* out) {
  if (cipher == Cipher::kAes256) return SaslPrep::Prepare(utf8, true, out);
  return PdfDocEncoding::FromUtf8(utf8, out);
}

size_t PdfCipherChoice::PasswordBytesThatCount(Cipher cipher) {
  return cipher == Cipher::kAes256 ? PdfRevision6SecurityHandler::kMaxPasswordBytes
                                   : PdfStandardSecurityHandler::kValueBytes;
}

std::unique_ptr<PdfFileWriter> PdfCipherChoice::NewWriter(Cipher cipher, std::string_view user, std::string_view owner,
                                                          const std::string& permissions) {
  switch (cipher) {
    case Cipher::kRc4_128:
      return std::make_unique<PdfEncryptedFileWriter>(user, owner, permissions);
    case Cipher::kAes128: {
      auto handler = std::make_unique<PdfRevision4SecurityHandler>();
      handler->ComputeKeys(user, owner, permissions);
      return std::make_unique<PdfAesEncryptedFileWriter>(std::move(handler));
    }
    case Cipher::kAes256: {
      auto handler = std::make_unique<PdfRevision6SecurityHandler>();
      SecureRandom random;
      handler->ComputeKeys(user, owner, permissions, random);
      return std::make_unique<PdfAesEncryptedFileWriter>(std::move(handler));
    }
  }
  return nullptr;
}
