#include "crypt/pdfdocencoding.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(PdfDocEncoding, ConvertsRepresentableText) {
  const struct {
    const char* utf8;
    const char* expected;
  } kCases[] = {
      {"", ""},
      {"Pass word~1", "Pass word~1"},  // ASCII maps to itself
      {"caf\xC3\xA9", "caf\xE9"},      // é: same code as Latin-1
      {"\xE2\x82\xAC", "\xA0"},        // € sits at 0xA0, not Latin-1's NBSP
      {"\xE2\x80\x99", "\x90"},        // right single quote
      {"\xE2\x80\xA2", "\x80"},        // bullet
      {"\xEF\xAC\x81", "\x93"},        // fi ligature
      {"\xC5\xB8", "\x98"},            // Ÿ
      {"\xCB\x98", "\x18"},            // breve, in the 0x18-0x1F diacritics
      {"\xC3\xBF", "\xFF"},            // ÿ, last Latin-1 code
  };
  for (const auto& c : kCases) {
    std::string out;
    ASSERT_TRUE(PdfDocEncoding::FromUtf8(c.utf8, &out)) << c.utf8;
    EXPECT_EQ(out, c.expected) << c.utf8;
  }
}

TEST(PdfDocEncoding, RefusesUnrepresentableOrMalformedText) {
  const char* kCases[] = {
      "ab\xE4\xB8\xAD",      // CJK character: no code
      "\xC2\xAD",            // soft hyphen: 0xAD is undefined
      "\xC2\x80",            // U+0080: 0x80 means bullet instead
      "\xC2\xA0",            // NBSP: 0xA0 means Euro instead
      "\x1F",                // U+001F: 0x1F means tilde accent
      "\x7F",                // DEL: undefined
      "ok\xC3",              // truncated sequence
      "\x80",                // stray continuation byte
      "\xC0\xAF",            // overlong "/"
      "\xE0\x80\xAF",        // overlong three-byte form
      "\xED\xA0\x80",        // UTF-16 surrogate
      "\xF4\x90\x80\x80",    // above U+10FFFF
      "\xC3(",               // lead byte without continuation
  };
  for (const char* c : kCases) {
    std::string out = "stale";
    EXPECT_FALSE(PdfDocEncoding::FromUtf8(c, &out)) << c;
    EXPECT_TRUE(out.empty());
  }
}

TEST(PdfDocEncoding, EveryDefinedByteHasExactlyOneCodePoint) {
  // Catches duplicated or mistyped table entries: 253 code points map onto
  // the 256 bytes, each byte at most once; 0x7F, 0x9F and 0xAD stay unused.
  int hits[256] = {};
  int total = 0;
  for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
    int b = PdfDocEncoding::FromCodePoint(cp);
    if (b < 0) continue;
    ASSERT_LT(b, 256);
    ++hits[b];
    ++total;
  }
  EXPECT_EQ(total, 253);
  for (int b = 0; b < 256; ++b) EXPECT_EQ(hits[b], (b == 0x7F || b == 0x9F || b == 0xAD) ? 0 : 1) << b;
}

}  // namespace
