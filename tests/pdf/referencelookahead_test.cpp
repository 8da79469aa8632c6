// A number may start a reference "N G R". The parser decides from the bytes
// in the stream's window when it can, and reads token by token otherwise
// (at the end of a file stream's window). Both must read the same values.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pdf/kelvraruntimeerror.h"
#include "pdf/pdfarray.h"
#include "pdf/pdffileparser.h"
#include "pdf/pdffilestream.h"
#include "pdf/pdfkeyvaluepair.h"
#include "pdf/pdfmemorystream.h"
#include "tests/pdf/windowshift.h"

namespace {

// The elements of the array at the stream's position, as "kind:text".
std::vector<std::string> Elements(PdfStream& s) {
  PdfFileParser p;
  PdfKeyValuePair holder;
  p.ParseValue(&holder, s);
  std::vector<std::string> out;
  for (PdfValue* v : static_cast<PdfArray*>(holder.value)->elements)
    out.push_back(std::to_string(v->native_type) + ":" + v->text);
  return out;
}

std::vector<std::string> FromMemory(const std::string& text) {
  PdfMemoryStream m(text.data(), text.size());
  return Elements(m);
}

const std::string R = std::to_string(NATIVE_REFERENCE) + ":";
const std::string N = std::to_string(NATIVE_NUMBER) + ":";

TEST(ReferenceLookAhead, Forms) {
  const struct {
    const char* text;
    std::vector<std::string> expected;
  } rows[] = {
      {"[1 0 R]", {R + "1 0 R"}},
      {"[1 0 R/N]", {R + "1 0 R", "2:/N"}},                          // "R" ended by a delimiter
      {"[1\n0\r\nR(x)]", {R + "1 0 R", "3:x"}},                      // any white space between
      {"[1 02 R 3 0 R]", {R + "1 02 R", R + "3 0 R"}},                 // digits kept as written
      {"[1 0 0 R]", {N + "1", R + "0 0 R"}},                          // the last two numbers make it
      {"[1 2 3]", {N + "1", N + "2", N + "3"}},
      {"[1 2/R]", {N + "1", N + "2", "2:/R"}},                        // a name is not the keyword
      {"[1 0<>]", {N + "1", N + "0", "4:"}},
      {"[1 0.5 2 0 R]", {N + "1", N + "0.5", R + "2 0 R"}},           // no integer, no reference
      {"[1 0%c\n2]", {N + "1", N + "0", N + "2"}},                    // a comment ends the second number
      {"[+1 0 1 0 R]", {N + "+1", N + "0", R + "1 0 R"}},              // a sign: not a reference's number
  };
  for (const auto& row : rows) EXPECT_EQ(FromMemory(row.text), row.expected) << row.text;
}

TEST(ReferenceLookAhead, AcrossTheEndOfAFileWindow) {
  const std::string body = "[1 0 R 12 0 R 5 6 7 R 8 9/N 10 11 R 3 4]";
  const std::vector<std::string> expected = FromMemory(body);
  windowshift::ForEachWindowEnd(body, "reference_lookahead.pdf", [&expected](PdfFileStream& file, size_t shift) {
    EXPECT_EQ(Elements(file), expected) << "shift " << shift;
  });
}

}  // namespace
