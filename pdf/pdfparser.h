#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "base/pdfstream.h"

// The lexical layer of the reader: cuts a byte stream into PDF tokens and
// decodes literal strings, hexadecimal strings and names. It keeps no state;
// every operation works on the stream it is given.
//
// Tokens, literal strings and hexadecimal strings are limited to
// pdflimits::kMaxTokenBytes; a longer one fails with the operation's
// ":Limit" message.
class PdfParser {
 public:
  PdfParser();
  virtual ~PdfParser();

  // The next token; empty at the end of the data. A comment is skipped; a
  // hexadecimal string without white space comes out whole, brackets included.
  // After the keyword "stream" the byte that ended it stays unread.
  std::string NextToken(PdfStream& s);
  void SkipWhitespace(PdfStream& s);
  // The next byte that is not white space, left unread; 0 at the end.
  int PeekChar(PdfStream& s);
  // Consumes bytes up to and including the first LF or CR (or the end).
  void SkipComment(PdfStream& s);
  // The content of the literal string on whose "(" the stream stands; its
  // bytes are kept exactly as written, whatever they begin with.
  std::string ParseString(PdfStream& s);
  // The digits of the hexadecimal string on whose "<" the stream stands.
  std::string ParseHexString(PdfStream& s);
  // The name with its #-escapes decoded.
  std::string ParseName(const std::string& token);
  static uint8_t OctalToByte(const std::string& digits);
  // True when every byte is a digit, ".", "-" or "+" (and for empty text).
  static bool EsNumeral(const std::string& text);

  // Whether text is exactly the literal; cheaper than operator== with a
  // C string, which measures the literal first.
  template <size_t N>
  static bool Is(const std::string& text, const char (&literal)[N]) {
    return text.size() == N - 1 && std::memcmp(text.data(), literal, N - 1) == 0;
  }

  static constexpr bool IsWhitespace(int c) {
    return c == 0x20 || c == 0x0A || c == 0x0D || c == 0x09 || c == 0x0C || c == 0x00;
  }
  static constexpr bool IsDelimiter(int c) {
    return c == '(' || c == ')' || c == '<' || c == '>' || c == '[' || c == ']' || c == '{' || c == '}' || c == '/' ||
           c == '%';
  }
  // Neither white space nor a delimiter: a byte that continues a token. One
  // table lookup, for the loops that run over every byte of a token.
  static bool IsRegular(uint8_t c);
};

namespace pdfparser_detail {
struct RegularTable {
  bool bits[256];
  constexpr RegularTable() : bits() {
    for (int c = 0; c < 256; ++c) bits[c] = !PdfParser::IsWhitespace(c) && !PdfParser::IsDelimiter(c);
  }
};
inline constexpr RegularTable kRegular{};
}  // namespace pdfparser_detail

inline bool PdfParser::IsRegular(uint8_t c) { return pdfparser_detail::kRegular.bits[c]; }

// Number conversions shared by the reader and the writer.
int32_t HexToInt(const std::string& text);
// Decimal text to a 32-bit value: leading white space, a sign, digits up to
// the first other character; the low 32 bits of the 64-bit result.
int32_t StringToInt(const std::string& text);
// The same conversion keeping all 64 bits (file offsets, object numbers);
// saturates instead of overflowing.
int64_t StringToInt64(const std::string& text);
int64_t StringToInt64(const char* text, size_t size);
char* ULongToString(unsigned long value, char* buffer);
// Radix 10, 16 (upper case) or 8; any other throws the text "no radix support".
char* IntToString(int value, char* buffer, int radix);
