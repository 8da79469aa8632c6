// The writer formats names and escapes strings straight into its output
// buffer, and writes the buffer out when full. Objects of many sizes move
// every piece across the buffer's end somewhere; pieces larger than the
// buffer take another path. Every object must come out whole, at the offset
// its cross-reference entry gives.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/pdfbuilder.h"
#include "writer/pdfsyntaxformatter.h"

namespace {

using namespace pdftest;

TEST(OutputBuffer, PiecesAcrossTheBufferEnd) {
  std::vector<std::string> bodies, expected;
  // String sizes grow past half the buffer (escaped size over the buffer)
  // and past the whole buffer.
  const size_t sizes[] = {0, 1, 7, 100, 1000, 5000, 33000, 70000};
  for (int i = 0; i < 400; ++i) {
    std::string text(sizes[i % 8] + static_cast<size_t>(i), 'a');
    for (size_t k = 0; k < text.size(); k += 7) text[k] = "()\\\n\r\t\b\f"[k % 8];
    std::string escaped_in;  // as written in the input: every byte escaped
    for (char c : text) escaped_in += "\\" + std::to_string(c / 64) + std::to_string(c / 8 % 8) + std::to_string(c % 8);
    const std::string name(static_cast<size_t>(i % 50) + 1, 'n');
    bodies.push_back("<< /K#20" + name + " (" + escaped_in + ") /V /x#2F" + name + " >>");
    expected.push_back("<<\n" + PdfSyntaxFormatter::FormatName("/K " + name) + " (" +
                       PdfSyntaxFormatter::EscapeLiteralString(text) + ") \n/V " +
                       PdfSyntaxFormatter::FormatName("/x/" + name) + " \n>>\n");
  }
  PdfFileWriter w;
  const std::string out = Rewrite(w, SimpleDocument(bodies));
  const WrittenXRef x = ReadXRef(out);
  for (size_t i = 0; i < bodies.size(); ++i)
    ASSERT_EQ(ObjectBody(out, x, static_cast<int64_t>(i) + 2), expected[i]) << "object " << i + 2;
}

}  // namespace
