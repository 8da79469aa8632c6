#pragma once
#include <string_view>

#include "crypt/secretstring.h"

// PDFDocEncoding, the 8-bit text encoding of PDF (PDF Reference, Annex D).
// The revision-3 Standard security handler takes its passwords as bytes in
// this encoding, so a password typed as Unicode text is converted here first.
class PdfDocEncoding {
 public:
  // Converts UTF-8 text to PDFDocEncoding bytes. Returns false, and leaves
  // out empty, when the text is not well-formed UTF-8 (truncated or stray
  // sequences, overlong forms, surrogates, values above U+10FFFF) or holds a
  // character that PDFDocEncoding cannot represent. Does not throw.
  //
  // U+0000 to U+0017 and U+0020 to U+007E map to themselves. U+0018 to
  // U+001F and U+007F have no code: the bytes 0x18 to 0x1F stand for spacing
  // diacritics and 0x7F is undefined. 0x80 to 0xA0 hold typographic
  // characters (bullet, dashes, quotes, ligatures, Euro at 0xA0, ...), 0xA1
  // to 0xFF follow Latin-1 except 0xAD, which is undefined.
  static bool FromUtf8(std::string_view utf8, SecretString* out);

  // The PDFDocEncoding byte of one Unicode code point, or -1 when it has none.
  static int FromCodePoint(char32_t code_point);
};
