// Names, keys and numbers are taken straight from the stream's window when
// it holds them whole, and read token by token otherwise. A dictionary read
// from a file stream whose window ends at every place inside it must come
// out as from memory.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pdf/pdfarray.h"
#include "pdf/pdfdiccionario.h"
#include "pdf/pdffileparser.h"
#include "pdf/pdffilestream.h"
#include "pdf/pdfkeyvaluepair.h"
#include "pdf/pdfmemorystream.h"
#include "tests/pdf/windowshift.h"

namespace {

// Every key and value of the value at the stream's position, flattened.
void Flatten(const PdfValue* v, std::vector<std::string>* out) {
  if (v == nullptr) {
    out->push_back("null");
    return;
  }
  switch (v->kind()) {
    case PdfValue::Kind::Dictionary:
      out->push_back("<<");
      for (const PdfKeyValuePair* p : static_cast<const PdfDiccionario*>(v)->pairs) {
        out->push_back("key " + p->key);
        Flatten(p->value, out);
      }
      out->push_back(">>");
      return;
    case PdfValue::Kind::Array:
      out->push_back("[");
      for (const PdfValue* e : static_cast<const PdfArray*>(v)->elements) Flatten(e, out);
      out->push_back("]");
      return;
    default:
      out->push_back(std::to_string(v->native_type) + " " + v->text);
  }
}

std::vector<std::string> Read(PdfStream& s) {
  PdfFileParser p;
  PdfKeyValuePair holder;
  p.ParseValue(&holder, s);
  std::vector<std::string> out;
  Flatten(holder.value, &out);
  return out;
}

TEST(WindowTokens, DictionaryAcrossTheEndOfAFileWindow) {
  const std::string body =
      "<</Type/Annot /Rect[-1.5 +2 .25 300] /Na#6De /A#20B\n/Ref 12 0 R /N -7 /Empty/ /S(x)/K<</In 1>>>>";
  PdfMemoryStream m(body.data(), body.size());
  const std::vector<std::string> expected = Read(m);
  ASSERT_EQ(expected.size(), 26u);
  windowshift::ForEachWindowEnd(body, "window_tokens.pdf", [&expected](PdfFileStream& file, size_t shift) {
    EXPECT_EQ(Read(file), expected) << "shift " << shift;
  });
}

}  // namespace
