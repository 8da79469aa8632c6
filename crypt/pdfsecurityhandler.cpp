#include "crypt/pdfsecurityhandler.h"

#include <algorithm>

#include "base/kelvraruntimeerror.h"
#include "base/pdfsyntaxformatter.h"
#include "crypt/aesobjectcipher.h"
#include "crypt/md5.h"
#include "crypt/pdfrevision2securityhandler.h"
#include "crypt/pdfrevision4securityhandler.h"
#include "crypt/pdfrevision5securityhandler.h"
#include "crypt/pdfrevision6securityhandler.h"

PdfSecurityHandler::~PdfSecurityHandler() = default;

std::unique_ptr<PdfSecurityHandler> PdfSecurityHandler::ForVersion(int64_t v, int64_t r) {
  // /V 1 to 3: RC4 for everything; 4: crypt filters with 128-bit keys; 5:
  // crypt filters with 256-bit keys.
  const bool rc4 = v == 1 || v == 2 || v == 3;
  if (rc4 && r == 2) return std::make_unique<PdfRevision2SecurityHandler>();
  if (rc4 && r == 3) return std::make_unique<PdfStandardSecurityHandler>();
  if (v == 4 && r == 4) return std::make_unique<PdfRevision4SecurityHandler>();
  if (v == 5 && r == 5) return std::make_unique<PdfRevision5SecurityHandler>();
  if (v == 5 && r == 6) return std::make_unique<PdfRevision6SecurityHandler>();
  return nullptr;
}

std::unique_ptr<PdfObjectCipher> PdfSecurityHandler::NewCipher(Cipher method) const {
  // Only the revisions of MD5 keys derive RC4 keys.
  if (method != Cipher::kAes) throw _kelvra_runtime_error(errtext::kEncryptUnsupported);
  return std::make_unique<AesObjectCipher>(*this);
}

std::string PdfSecurityHandler::EncryptObjectText(int64_t number) const {
  return std::to_string(number) + " 0 obj\n<<\n" + EncryptDictionaryEntries() + ">>\nendobj\n";
}

std::string PdfSecurityHandler::TrailerEntriesText(int64_t encrypt_number) const {
  const std::string id = Hex(GetIdentifier());
  return "/Encrypt " + std::to_string(encrypt_number) + " 0 R\n/ID [<" + id + "><" + id + ">]\n";
}

std::string PdfSecurityHandler::EscapeLiteralString(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 8);
  for (char c : bytes) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '(':
        out += "\\(";
        break;
      case ')':
        out += "\\)";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

std::string PdfSecurityHandler::Hex(const std::string& bytes) { return PdfSyntaxFormatter::BytesToHex(bytes); }

SecretString PdfSecurityHandler::Md5ObjectKey(const SecretString& file_key, int64_t number, int64_t generation,
                                              bool aes) {
  SecretString input;
  input.reserve(file_key.size() + 9);
  input.append(file_key);
  const auto n = static_cast<uint32_t>(number), g = static_cast<uint32_t>(generation);
  const char suffix[5] = {static_cast<char>(n), static_cast<char>(n >> 8), static_cast<char>(n >> 16),
                          static_cast<char>(g), static_cast<char>(g >> 8)};
  input.append(suffix, sizeof suffix);
  if (aes) input.append("sAlT", 4);
  uint8_t digest[Md5::kDigestSize];
  Md5::Digest(input.data(), input.size(), digest);
  SecretString key(reinterpret_cast<const char*>(digest), std::min<size_t>(file_key.size() + 5, size_t{16}));
  WipeBytes(digest, sizeof digest);
  return key;
}
