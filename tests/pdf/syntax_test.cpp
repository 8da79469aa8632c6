// Tokens, strings, names, numbers and references, read alike from memory and wherever a file's window refills.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pdf/pdfarray.h"
#include "pdf/pdfdiccionario.h"
#include "pdf/pdfkeyvaluepair.h"
#include "base/pdflimits.h"
#include "pdf/pdfparser.h"
#include "tests/pdfbuilder.h"

namespace {

using namespace pdftest;

// The content of the literal or hexadecimal string at the start of in, or "!" and the library error's message.
std::string StringOf(const std::string& in) {
  PdfMemoryStream s(in.data(), in.size());
  std::string out;
  const std::string error =
      ErrorOf([&] { out = in[0] == '<' ? PdfParser().ParseHexString(s) : PdfParser().ParseString(s); });
  return error.empty() ? out : "!" + error;
}

TEST(Tokenizer, LiteralStrings) {
  const std::pair<std::string, std::string> rows[] = {
      {"(a(b)c)", "a(b)c"},                                                    // balanced parentheses nest
      {"(a\\)b)", "a)b"},                                                      // escaped parenthesis
      {"(\\53)", "\x2B"},                                                      // octal escape ended by ")"
      {"(\\0053)", "\x05\x33"},                                                // at most three octal digits
      {"(a\\\r\nb)", "ab"},                                                    // continuation eats CR LF
      {"(a\\\rb)", "ab"},                                                      // continuation eats a lone CR
      {"(a\r\nb)", "a\r\nb"},                                                  // raw line ends stay as written
      {"(\\n\\r\\t\\b\\f\\\\)", "\n\r\t\b\f\\"},                               // named escapes
      {"(a\\ b\\q)", "a bq"},                                                  // unknown escape keeps the character
      {std::string("(\xFE\xFF\0A\0B)", 8), std::string("\xFE\xFF\0A\0B", 6)},  // UTF-16 bytes kept as is
      {"(abc", "!PdfParser::ParseString:EOF"},                                 // unterminated
      {"(a(b)", "!PdfParser::ParseString:EOF"},                                // unbalanced nesting
      // Hexadecimal strings, as text.
      {"<4g>", "4g"},                               // digits are kept, not checked
      {"<4142", "!PdfParser::ParseHexString:EOF"},  // unterminated
  };
  for (const auto& [in, out] : rows) EXPECT_EQ(StringOf(in), out) << in;
}

// Every token with the byte after it (0 at the end); a file stream's end is an error where memory gives no token.
std::vector<std::string> TokensAndNext(PdfStream& s) {
  PdfParser p;
  std::vector<std::string> out;
  for (;;) {
    std::string t;
    int after = 0;
    const std::string error = ErrorOf([&] {
      t = p.NextToken(s);
      if (!t.empty()) after = p.PeekChar(s);
    });
    if (!t.empty()) out.push_back(t + "|" + std::to_string(after));
    if (t.empty() || !error.empty()) {
      EXPECT_TRUE(error.empty() || error == "PdfFileStream::Leer::fread") << error;
      return out;
    }
  }
}

// The value at the stream's position, flattened: kinds, keys and texts.
void Flatten(const PdfValue* v, std::vector<std::string>* out) {
  if (v == nullptr) return out->push_back("null");
  if (v->kind() == PdfValue::Kind::Dictionary) {
    out->push_back("<<");
    for (const PdfKeyValuePair* p : static_cast<const PdfDiccionario*>(v)->pairs) {
      out->push_back("key " + p->key);
      Flatten(p->value, out);
    }
    return out->push_back(">>");
  }
  if (v->kind() == PdfValue::Kind::Array) {
    out->push_back("[");
    for (const PdfValue* e : static_cast<const PdfArray*>(v)->elements) Flatten(e, out);
    return out->push_back("]");
  }
  out->push_back(std::to_string(v->native_type) + ":" + v->text);
}
std::vector<std::string> Value(PdfStream& s) {
  PdfFileParser p;
  PdfKeyValuePair holder;
  p.ParseValue(&holder, s);
  std::vector<std::string> out;
  Flatten(holder.value, &out);
  return out;
}
std::vector<std::string> ValueOf(const std::string& text) {  // or "!" and the error
  PdfMemoryStream m(text.data(), text.size());
  std::vector<std::string> out;
  const std::string error = ErrorOf([&] { out = Value(m); });
  return error.empty() ? out : std::vector<std::string>{"!" + error};
}

const std::string R = std::to_string(NATIVE_REFERENCE) + ":";
const std::string N = std::to_string(NATIVE_NUMBER) + ":";

TEST(ReferenceLookAhead, Forms) {
  const std::pair<std::string, std::vector<std::string>> rows[] = {
      {"[1 0 R]", {"[", R + "1 0 R", "]"}},
      {"[12%note\n34]", {"[", N + "12", N + "34", "]"}},  // a comment ends a token
      {"<</D#20E (null) /F /null>>", {"<<", "key /D E", "3:null", "key /F", "2:/null", ">>"}},  // not the keyword
      {{'[', '1', '\0', '2', '\t', '3', '\f', '4', ']'}, {"[", N + "1", N + "2", N + "3", N + "4", "]"}},  // blanks
      {"[1 0 R/N]", {"[", R + "1 0 R", "2:/N", "]"}},                  // "R" ended by a delimiter
      {"[1\n0\r\nR(x)]", {"[", R + "1 0 R", "3:x", "]"}},              // any white space between
      {"[1 02 R 3 0 R]", {"[", R + "1 02 R", R + "3 0 R", "]"}},       // digits kept as written
      {"[1 0 0 R]", {"[", N + "1", R + "0 0 R", "]"}},                 // the last two numbers make it
      {"[1 0.5 2 0 R]", {"[", N + "1", N + "0.5", R + "2 0 R", "]"}},  // no integer, no reference
      {"[1 0%c\n2]", {"[", N + "1", N + "0", N + "2", "]"}},           // a comment ends the second number
      {"[+1 0 1 0 R]", {"[", N + "+1", N + "0", R + "1 0 R", "]"}},    // a sign: not a reference's number
      {"[1 0 RG]", {"!RG"}},                                           // "R" only starts a token
      {"[/A#zz /A#4 /A# /#2F#2f]",
       {"[", "2:/A#zz", "2:/A#4", "2:/A#", "2:///", "]"}},  // "#" and no two hex digits stays
      {"[/N#20x (s) <41 42> true null 1.5 -2 +.5]",
       {"[", "2:/N x", "3:s", "4:4142", "6:true", "6:null", N + "1.5", N + "-2", N + "+.5", "]"}},
  };
  for (const auto& [text, expected] : rows) EXPECT_EQ(ValueOf(text), expected) << text;
}

// Each text placed so that a file stream's first window ends at every place inside it.
TEST(Window, ReadsTheSameAcrossRefills) {
  const std::string tokens =
      "stream\r\n/Name#20x/Next<<12 0 R>>[/A(str)]<48 65>%note\n{true}obj 123456789012345678901234567890 endstream\n";
  const std::string value =
      "<</Type/Annot /Rect[-1.5 +2 .25 300] /Na#6De /A#20B\n/Ref 12 0 R /N -7 /Empty/ /S(x)/K<</In 1>>"
      "/Refs[1 0 R 12 0 R 5 6 7 R 8 9/N 10 11 R 3 4]>>";
  for (const std::string* text : {&tokens, &value}) {
    auto read = [text, &tokens](PdfStream& s) { return text == &tokens ? TokensAndNext(s) : Value(s); };
    PdfMemoryStream m(text->data(), text->size());
    const std::vector<std::string> expected = read(m);
    for (size_t shift = 1; shift <= text->size(); ++shift) {
      TempFile file(std::string(PdfFileStream::kBufferBytes - shift, ' ') + *text + " ");
      EXPECT_EQ(read(file.stream), expected) << "shift " << shift;
    }
  }
}

TEST(Window, TokenLimit) {
  const std::string longest(pdflimits::kMaxTokenBytes, 'a');
  for (const std::string& in : {longest + " ", "b" + longest}) {
    PdfMemoryStream s(in.data(), in.size());
    EXPECT_EQ(ErrorOf([&] { EXPECT_EQ(PdfParser().NextToken(s), longest); }),
              in[0] == 'a' ? "" : "PdfParser::NextToken:Limit");
  }
}

}  // namespace
