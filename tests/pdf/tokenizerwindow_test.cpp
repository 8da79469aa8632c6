// The tokenizer takes runs of bytes straight from the stream's window. A file
// stream's window is refilled every PdfFileStream::kBufferBytes bytes, so
// every token must come out the same wherever a refill falls inside it.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "pdf/kelvraruntimeerror.h"
#include "pdf/pdffilestream.h"
#include "pdf/pdflimits.h"
#include "pdf/pdfmemorystream.h"
#include "pdf/pdfparser.h"

namespace {

// Tokens with every kind of ending: white space, delimiters, a comment,
// "stream" (whose line end stays unread), and the data's end.
const char kTail[] =
    "stream\r\n/Name#20x/Next<<12 0 R>>[/A(str)]<48 65>%note\n"
    "{true}obj 123456789012345678901234567890 endstream\n";

std::vector<std::string> Tokens(PdfStream& s, std::vector<int>* after) {
  PdfParser p;
  std::vector<std::string> out;
  for (;;) {
    try {
      const std::string t = p.NextToken(s);
      if (t.empty()) break;
      out.push_back(t);
      after->push_back(p.PeekChar(s));
    } catch (const _kelvra_runtime_error& e) {
      out.push_back("error: " + e.message);  // a file stream's end
      break;
    }
  }
  return out;
}

TEST(TokenizerWindow, TokensAreTheSameAcrossRefills) {
  const std::string path = testing::TempDir() + "tokenizer_window.pdf";
  for (size_t shift = 0; shift < sizeof kTail; ++shift) {
    // The filler ends `shift` bytes before the first refill.
    std::string data(PdfFileStream::kBufferBytes - shift, ' ');
    data += kTail;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(data.data(), 1, data.size(), f);
    std::fclose(f);

    PdfMemoryStream m(data.data(), data.size());
    std::vector<int> m_after, f_after;
    std::vector<std::string> expected = Tokens(m, &m_after);
    PdfFileStream file;
    file.Abrir(path.c_str(), "rb");
    std::vector<std::string> got = Tokens(file, &f_after);
    // The file stream reports its end as a read error where the memory
    // stream gives an empty token.
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got.back(), "error: PdfFileStream::Leer::fread") << "shift " << shift;
    got.pop_back();
    EXPECT_EQ(got, expected) << "shift " << shift;
    f_after.resize(m_after.size());
    EXPECT_EQ(f_after, m_after) << "shift " << shift;
  }
  std::remove(path.c_str());
}

TEST(TokenizerWindow, TokenLimit) {
  PdfParser p;
  std::string longest(pdflimits::kMaxTokenBytes, 'a');
  longest += ' ';
  PdfMemoryStream ok(longest.data(), longest.size());
  EXPECT_EQ(p.NextToken(ok).size(), pdflimits::kMaxTokenBytes) << "a token as long as the limit is read";

  longest.insert(0, "b");
  PdfMemoryStream over(longest.data(), longest.size());
  try {
    p.NextToken(over);
    ADD_FAILURE() << "a token one byte over the limit must fail";
  } catch (const _kelvra_runtime_error& e) {
    EXPECT_EQ(e.message, "PdfParser::NextToken:Limit");
  }
}

}  // namespace
