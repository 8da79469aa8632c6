#include "crypt/pdfsecurityhandler.h"

PdfSecurityHandler::~PdfSecurityHandler() = default;

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

std::string PdfSecurityHandler::Hex(const std::string& bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    hex.push_back(kHex[c >> 4]);
    hex.push_back(kHex[c & 0xF]);
  }
  return hex;
}
