#include "crypt/pdfdocencoding.h"

#include <cstdint>

namespace {

// Unicode code points of the bytes 0x18-0x1F and 0x80-0xA0, where the
// encoding departs from Latin-1. 0 marks an undefined byte (0x9F).
constexpr char32_t kLow[8] = {0x02D8, 0x02C7, 0x02C6, 0x02D9, 0x02DD, 0x02DB, 0x02DA, 0x02DC};
constexpr char32_t kHigh[33] = {0x2022, 0x2020, 0x2021, 0x2026, 0x2014, 0x2013, 0x0192, 0x2044,  // 0x80
                                0x2039, 0x203A, 0x2212, 0x2030, 0x201E, 0x201C, 0x201D, 0x2018,  // 0x88
                                0x2019, 0x201A, 0x2122, 0xFB01, 0xFB02, 0x0141, 0x0152, 0x0160,  // 0x90
                                0x0178, 0x017D, 0x0131, 0x0142, 0x0153, 0x0161, 0x017E, 0,       // 0x98
                                0x20AC};                                                         // 0xA0

// Decodes one UTF-8 sequence at s[*pos]; returns -1 when it is malformed.
int32_t NextCodePoint(std::string_view s, size_t* pos) {
  const size_t n = s.size();
  uint8_t b0 = static_cast<uint8_t>(s[*pos]);
  int extra;
  uint32_t cp, min;
  if (b0 < 0x80) {
    ++*pos;
    return b0;
  } else if (b0 >= 0xC2 && b0 <= 0xDF) {
    extra = 1, cp = b0 & 0x1F, min = 0x80;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    extra = 2, cp = b0 & 0x0F, min = 0x800;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    extra = 3, cp = b0 & 0x07, min = 0x10000;
  } else {
    return -1;  // continuation byte, C0/C1 overlong lead, or F5-FF
  }
  if (n - *pos <= static_cast<size_t>(extra)) return -1;
  for (int k = 1; k <= extra; ++k) {
    uint8_t b = static_cast<uint8_t>(s[*pos + static_cast<size_t>(k)]);
    if ((b & 0xC0) != 0x80) return -1;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return -1;
  *pos += static_cast<size_t>(extra) + 1;
  return static_cast<int32_t>(cp);
}

}  // namespace

int PdfDocEncoding::FromCodePoint(char32_t cp) {
  if (cp < 0x18 || (cp >= 0x20 && cp < 0x7F)) return static_cast<int>(cp);
  if (cp >= 0xA1 && cp <= 0xFF && cp != 0xAD) return static_cast<int>(cp);
  for (int k = 0; k < 8; ++k)
    if (kLow[k] == cp) return 0x18 + k;
  for (int k = 0; k < 33; ++k)
    if (kHigh[k] != 0 && kHigh[k] == cp) return 0x80 + k;
  return -1;
}

bool PdfDocEncoding::FromUtf8(std::string_view utf8, SecretString* out) {
  out->clear();
  SecretString result;
  result.reserve(utf8.size());
  size_t pos = 0;
  while (pos < utf8.size()) {
    int32_t cp = NextCodePoint(utf8, &pos);
    if (cp < 0) return false;
    int byte = FromCodePoint(static_cast<char32_t>(cp));
    if (byte < 0) return false;
    result.push_back(static_cast<char>(byte));
  }
  out->swap(result);
  return true;
}
