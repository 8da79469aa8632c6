#include "crypt/pdfpermissions.h"

int32_t PdfPermissions::Bits(const std::string& letters) {
  struct Grant {
    char letter;
    int32_t bits;
  };
  static const Grant kGrants[] = {
      {'P', 0x804},  // print, and print in high quality
      {'M', 0x8},    // modify the contents
      {'C', 0x10},   // copy or extract text and graphics
      {'A', 0x20},   // add or modify annotations, fill in form fields
      {'S', 0x400},  // assemble the document
      {'D', 0x4},    // print (degraded quality only, without P)
  };
  int32_t bits = 0;
  for (const Grant& g : kGrants)
    if (letters.find(g.letter) != std::string::npos) bits |= g.bits;
  return bits;
}

int32_t PdfPermissions::Value(const std::string& letters, uint32_t required_bits) {
  // Bits 1-2 are reserved as 0; 0xFFFFF0C0 sets the reserved bits 7-8 and
  // 13-32 (1-based, as the standard counts) and denies every permission
  // that no letter grants.
  const uint32_t bits = static_cast<uint32_t>(Bits(letters)) | required_bits;
  return static_cast<int32_t>((bits & ~3u) | 0xFFFFF0C0u);
}
