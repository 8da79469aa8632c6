#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "pdf/kelvraruntimeerror.h"
#include "pdf/pdflimits.h"
#include "pdf/pdfmemorystream.h"
#include "pdf/pdfparser.h"

namespace {

std::vector<std::string> Tokens(const std::string& in) {
  PdfMemoryStream s(in.data(), in.size());
  PdfParser p;
  std::vector<std::string> out;
  for (std::string t = p.NextToken(s); !t.empty(); t = p.NextToken(s)) out.push_back(t);
  return out;
}

// The content of the literal string at the start of in, or the library
// error's message prefixed with "!".
std::string StringOf(const std::string& in, int64_t* end = nullptr) {
  PdfMemoryStream s(in.data(), in.size());
  try {
    std::string out = PdfParser().ParseString(s);
    if (end != nullptr) *end = s.Tell();
    return out;
  } catch (const _kelvra_runtime_error& e) {
    return "!" + e.message;
  }
}

TEST(Tokenizer, CutsTokens) {
  using V = std::vector<std::string>;
  const struct {
    std::string in;
    V out;
  } rows[] = {
      {"<</Type/Page>>", {"<<", "/Type", "/Page", ">>"}},           // names end at the next "/" or ">"
      {"[1 2]", {"[", "1", "2", "]"}},                              // one-byte tokens split numbers
      {"12%note\n34", {"12", "34"}},                                // a comment ends a token
      {"1 % a\r\n% b\n 2", {"1", "2"}},                             // comments between tokens vanish
      {"<48656C6C6F>/X", {"<48656C6C6F>", "/X"}},                   // a hex string is one token
      {"<<>>>>", {"<<", ">>", ">>"}},                                // doubled brackets pair up
      {"{a}(b)", {"{", "a", "}", "(", "b", ")"}},                   // braces and parentheses
      {std::string("a\0b\tc\fd", 7), {"a", "b", "c", "d"}},         // NUL, tab, form feed are blanks
      {"%only a comment", {}},                                      // a comment to the end: no token
      {"obj<</A 1>>endobj", {"obj", "<<", "/A", "1", ">>", "endobj"}},  // keywords against brackets
  };
  for (const auto& row : rows) EXPECT_EQ(Tokens(row.in), row.out) << row.in;
}

TEST(Tokenizer, StreamKeywordLeavesItsLineEnd) {
  const std::string in = "stream\r\nDATA";
  PdfMemoryStream s(in.data(), in.size());
  PdfParser p;
  EXPECT_EQ(p.NextToken(s), "stream");
  EXPECT_EQ(s.GetByte(), '\r');
  // Any other keyword consumes the blank that ends it.
  const std::string other = "endobj\r\nX";
  PdfMemoryStream o(other.data(), other.size());
  EXPECT_EQ(p.NextToken(o), "endobj");
  EXPECT_EQ(o.GetByte(), '\n');
}

TEST(Tokenizer, PeekAndCommentsAtTheEnd) {
  PdfParser p;
  const std::string in = "  \n x";
  PdfMemoryStream s(in.data(), in.size());
  EXPECT_EQ(p.PeekChar(s), 'x');
  EXPECT_EQ(s.Tell(), 4) << "the peeked byte stays unread";
  s.Seek(0, 3);
  EXPECT_EQ(p.PeekChar(s), 0);
  // A comment that runs into the end of a memory stream stops there.
  const std::string comment = "% no line end";
  PdfMemoryStream c(comment.data(), comment.size());
  p.SkipComment(c);
  EXPECT_TRUE(c.Eof());
}

TEST(Tokenizer, LiteralStrings) {
  const struct {
    std::string in, out;
  } rows[] = {
      {"(a(b)c)", "a(b)c"},                                      // balanced parentheses nest
      {"(a\\)b)", "a)b"},                                        // escaped parenthesis
      {"(\\53)", "\x2B"},                                        // octal escape ended by ")"
      {"(\\0053)", std::string("\x05" "3")},                     // at most three octal digits
      {"(\\777)", "\xFF"},                                       // above 255 keeps the low byte
      {"(\\8)", "8"},                                            // 8 is not octal: unknown escape
      {"(a\\\r\nb)", "ab"},                                      // continuation eats CR LF
      {"(a\\\nb)", "ab"},                                        // continuation eats LF
      {"(a\\\rb)", "ab"},                                        // continuation eats a lone CR
      {"(a\r\nb)", "a\r\nb"},                                    // raw line ends stay as written
      {"(\\n\\r\\t\\b\\f\\\\)", "\n\r\t\b\f\\"},                 // named escapes
      {"(a\\ b\\q)", "a bq"},                                    // unknown escape keeps the character
      {std::string("(\xFE\xFF\0A\0B)", 8), std::string("\xFE\xFF\0A\0B", 6)},  // UTF-16 bytes kept as is
      {std::string("(\xFE\xFF\xD8\0)", 6), std::string("\xFE\xFF\xD8\0", 4)},  // even invalid UTF-16
      {std::string("(a\0b)", 5), std::string("a\0b", 3)},        // NUL bytes kept
      {"()", ""},                                                // empty
      {"(abc", "!PdfParser::ParseString:EOF"},                   // unterminated
      {"(abc\\", "!PdfParser::ParseString:EOF"},                 // ends inside an escape
      {"(a(b)", "!PdfParser::ParseString:EOF"},                  // unbalanced nesting
  };
  for (const auto& row : rows) EXPECT_EQ(StringOf(row.in), row.out) << row.in;

  int64_t end = 0;
  EXPECT_EQ(StringOf("(x)y", &end), "x");
  EXPECT_EQ(end, 3) << "the stream stands after the closing parenthesis";
}

TEST(Tokenizer, LongStringsAndTokensPassTheOldLimit) {
  // 100000 bytes: far beyond a 64 KiB working buffer, far below the limit.
  const std::string body(100000, 'a');
  EXPECT_EQ(StringOf("(" + body + ")"), body);
  EXPECT_EQ(Tokens("/" + body), std::vector<std::string>{"/" + body});
  const std::string hex = "<" + std::string(100000, '0') + ">";
  PdfMemoryStream s(hex.data(), hex.size());
  EXPECT_EQ(PdfParser().ParseHexString(s).size(), 100000u);
}

TEST(Tokenizer, HexStrings) {
  const struct {
    std::string in, out;
  } rows[] = {
      {"<48 65\r\n6C>", "48656C"},           // white space removed
      {"<>", ""},                            // empty
      {"<4g>", "4g"},                        // digits are kept, not checked
      {"<4142", "!PdfParser::ParseHexString:EOF"},  // unterminated
  };
  for (const auto& row : rows) {
    PdfMemoryStream s(row.in.data(), row.in.size());
    std::string got;
    try {
      got = PdfParser().ParseHexString(s);
    } catch (const _kelvra_runtime_error& e) {
      got = "!" + e.message;
    }
    EXPECT_EQ(got, row.out) << row.in;
  }
}

TEST(Tokenizer, Names) {
  const struct {
    std::string in, out;
  } rows[] = {
      {"/A#20B", "/A B"},                      // escape in the middle
      {"/A#zz", "/A#zz"},                      // not hex digits: the "#" stands for itself
      {"/A#4", "/A#4"},                        // one digit at the end of the token: no escape
      {"/A#", "/A#"},                          // no digits at all: no NUL byte
      {"/#2F#2f", "//" "/"},                   // either case
      {"/Plain", "/Plain"},                    // nothing to decode
  };
  for (const auto& row : rows) EXPECT_EQ(PdfParser().ParseName(row.in), row.out) << row.in;
}

TEST(NumberConversions, EsNumeral) {
  for (const char* yes : {"1.5", "-3", "+.5", "", "007"}) EXPECT_TRUE(PdfParser::EsNumeral(yes)) << yes;
  for (const char* no : {"1e5", "12a", " 1", "R"}) EXPECT_FALSE(PdfParser::EsNumeral(no)) << no;
}

TEST(NumberConversions, DecimalAndHexText) {
  const struct {
    std::string in;
    int64_t wide;
    int32_t narrow;
  } rows[] = {
      {"4294967297", 4294967297LL, 1},                      // 2^32 + 1 keeps its low 32 bits
      {"  -12abc", -12, -12},                               // blanks, sign, digits up to the first other
      {"+7", 7, 7},                                          // explicit plus
      {"abc", 0, 0},                                         // no digits
      {"99999999999999999999999", INT64_MAX, -1},            // saturates instead of overflowing
      {"0000000123", 123, 123},                              // leading zeros (classic offsets)
  };
  for (const auto& row : rows) {
    EXPECT_EQ(StringToInt64(row.in), row.wide) << row.in;
    EXPECT_EQ(StringToInt(row.in), row.narrow) << row.in;
  }
  char buf[32];
  EXPECT_STREQ(IntToString(255, buf, 16), "FF") << "upper case";
  EXPECT_THROW(IntToString(1, buf, 2), const char*);
}

}  // namespace
