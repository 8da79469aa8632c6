// The reader takes tokens, names, keys, numbers and references straight from
// the stream's window when it holds them whole, and byte by byte otherwise. A
// file stream's window is refilled every PdfFileStream::kBufferBytes bytes,
// so everything read from a file must come out as from memory wherever a
// refill falls.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "pdf/kelvraruntimeerror.h"
#include "pdf/pdfarray.h"
#include "pdf/pdfdiccionario.h"
#include "pdf/pdffileparser.h"
#include "pdf/pdffilestream.h"
#include "pdf/pdfkeyvaluepair.h"
#include "pdf/pdflimits.h"
#include "pdf/pdfmemorystream.h"
#include "tests/pdfbuilder.h"

namespace {

// Every token with the byte after it (0 at the end); a file stream reports
// its end as an error where a memory stream gives an empty token.
std::vector<std::string> Tokens(PdfStream& s) {
  PdfParser p;
  std::vector<std::string> out;
  for (;;) {
    std::string t;
    int after = 0;
    const std::string error = pdftest::ErrorOf([&] {
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
  const std::string error = pdftest::ErrorOf([&] { out = Value(m); });
  return error.empty() ? out : std::vector<std::string>{"!" + error};
}

const std::string R = std::to_string(NATIVE_REFERENCE) + ":";
const std::string N = std::to_string(NATIVE_NUMBER) + ":";

TEST(ReferenceLookAhead, Forms) {
  const struct {
    const char* text;
    std::vector<std::string> expected;
  } rows[] = {
      {"[1 0 R]", {"[", R + "1 0 R", "]"}},
      {"[1 0 R/N]", {"[", R + "1 0 R", "2:/N", "]"}},                   // "R" ended by a delimiter
      {"[1\n0\r\nR(x)]", {"[", R + "1 0 R", "3:x", "]"}},               // any white space between
      {"[1 02 R 3 0 R]", {"[", R + "1 02 R", R + "3 0 R", "]"}},         // digits kept as written
      {"[1 0 0 R]", {"[", N + "1", R + "0 0 R", "]"}},                   // the last two numbers make it
      {"[1 2/R]", {"[", N + "1", N + "2", "2:/R", "]"}},                 // a name is not the keyword
      {"[1 0<>]", {"[", N + "1", N + "0", "4:", "]"}},
      {"[1 0.5 2 0 R]", {"[", N + "1", N + "0.5", R + "2 0 R", "]"}},    // no integer, no reference
      {"[1 0%c\n2]", {"[", N + "1", N + "0", N + "2", "]"}},             // a comment ends the second number
      {"[+1 0 1 0 R]", {"[", N + "+1", N + "0", R + "1 0 R", "]"}},       // a sign: not a reference's number
      {"[1 0 RG]", {"!RG"}},                                             // "R" only starts a token
  };
  for (const auto& row : rows) EXPECT_EQ(ValueOf(row.text), row.expected) << row.text;
}

// Each text placed so that a file stream's first window ends at every place
// inside it: tokens of every ending (white space, delimiters, a comment,
// "stream" whose line end stays unread, the data's end), and a dictionary of
// names with escapes, numbers and references.
TEST(Window, ReadsTheSameAcrossRefills) {
  const std::string tokens =
      "stream\r\n/Name#20x/Next<<12 0 R>>[/A(str)]<48 65>%note\n{true}obj 123456789012345678901234567890 endstream\n";
  const std::string value =
      "<</Type/Annot /Rect[-1.5 +2 .25 300] /Na#6De /A#20B\n/Ref 12 0 R /N -7 /Empty/ /S(x)/K<</In 1>>"
      "/Refs[1 0 R 12 0 R 5 6 7 R 8 9/N 10 11 R 3 4]>>";
  const std::string path = testing::TempDir() + "window_test.pdf";
  for (const std::string* text : {&tokens, &value}) {
    auto read = [text, &tokens](PdfStream& s) { return text == &tokens ? Tokens(s) : Value(s); };
    PdfMemoryStream m(text->data(), text->size());
    const std::vector<std::string> expected = read(m);
    ASSERT_GT(expected.size(), 20u);
    for (size_t shift = 1; shift <= text->size(); ++shift) {
      const std::string data = std::string(PdfFileStream::kBufferBytes - shift, ' ') + *text + " ";
      std::FILE* f = std::fopen(path.c_str(), "wb");
      ASSERT_NE(f, nullptr);
      std::fwrite(data.data(), 1, data.size(), f);
      std::fclose(f);
      PdfFileStream file;
      file.Abrir(path.c_str(), "rb");
      EXPECT_EQ(read(file), expected) << "shift " << shift;
    }
  }
  std::remove(path.c_str());
}

TEST(Window, TokenLimit) {
  PdfParser p;
  std::string longest(pdflimits::kMaxTokenBytes, 'a');
  longest += ' ';
  PdfMemoryStream ok(longest.data(), longest.size());
  EXPECT_EQ(p.NextToken(ok).size(), pdflimits::kMaxTokenBytes) << "a token as long as the limit is read";
  longest.insert(0, "b");
  PdfMemoryStream over(longest.data(), longest.size());
  EXPECT_EQ(pdftest::ErrorOf([&] { p.NextToken(over); }), "PdfParser::NextToken:Limit");
}

}  // namespace
