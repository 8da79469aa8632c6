#include "crypt/pdfobjectcipher.h"

PdfObjectCipher::~PdfObjectCipher() = default;

void PdfObjectCipher::Decrypt(int64_t number, int64_t generation, std::string& bytes) {
  if (bytes.empty()) return;
  bytes.resize(Decrypt(number, generation, reinterpret_cast<uint8_t*>(&bytes[0]), bytes.size()));
}

void PdfObjectCipher::Decrypt(int64_t number, int64_t generation, std::vector<uint8_t>& bytes) {
  if (bytes.empty()) return;
  bytes.resize(Decrypt(number, generation, bytes.data(), bytes.size()));
}
