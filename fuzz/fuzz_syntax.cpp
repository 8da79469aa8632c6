// The tokenizer and the object syntax on a memory stream:
// - NextToken cuts the whole input into tokens and always makes progress;
// - the input is read as a sequence of values, and as one indirect object;
// - every name, key and string read comes back unchanged through the
//   writer's formatting and the reader again.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/kelvraruntimeerror.h"
#include "pdf/pdfarray.h"
#include "pdf/pdffileparser.h"
#include "pdf/pdfkeyvaluepair.h"
#include "base/pdfmemorystream.h"
#include "base/pdfsyntaxformatter.h"

namespace {

[[noreturn]] void Fail(const char* what, const std::string& a, const std::string& b) {
  std::fprintf(stderr, "%s: %zu bytes became %zu bytes\n", what, a.size(), b.size());
  std::abort();
}

void CheckName(PdfParser& p, const std::string& name) {
  const std::string written = PdfSyntaxFormatter::FormatName(name);
  PdfMemoryStream m(written.data(), written.size());
  const std::string back = p.ParseName(p.NextToken(m));
  if (back != name) Fail("name round trip", name, back);
}

void CheckString(PdfParser& p, const std::string& bytes) {
  const std::string written = "(" + PdfSyntaxFormatter::EscapeLiteralString(bytes) + ")";
  PdfMemoryStream m(written.data(), written.size());
  const std::string back = p.ParseString(m);
  if (back != bytes || !m.Eof()) Fail("string round trip", bytes, back);
}

void CheckValues(PdfFileParser& p) {
  for (const auto& v : p.valueList) {
    if (v->kind() == PdfValue::Kind::KeyValuePair) {
      CheckName(p, static_cast<PdfKeyValuePair*>(v.get())->key);
    } else if (v->kind() == PdfValue::Kind::Value) {
      if (v->native_type == NATIVE_NAME) CheckName(p, v->text);
      if (v->native_type == NATIVE_STRING) CheckString(p, v->text);
      if (v->native_type == NATIVE_HEXSTRING) CheckString(p, PdfSyntaxFormatter::HexToBytes(v->text));
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Tokens: each call either consumes bytes or reports the end.
  {
    PdfParser p;
    PdfMemoryStream m(data, size);
    size_t calls = 0;
    try {
      while (!p.NextToken(m).empty()) {
        if (++calls > size) {
          std::fprintf(stderr, "NextToken makes no progress\n");
          std::abort();
        }
      }
    } catch (const _kelvra_runtime_error&) {
    }
  }
  // A sequence of values, as inside an array.
  {
    PdfFileParser p;
    PdfMemoryStream m(data, size);
    p.inputStream = &m;
    try {
      p.ParseValue(p.NewArray(), m);
    } catch (const _kelvra_runtime_error&) {
    }
    CheckValues(p);
  }
  // One indirect object, stream keyword included.
  {
    PdfFileParser p;
    PdfMemoryStream m(data, size);
    p.inputStream = &m;
    PdfKeyValuePair holder;
    try {
      p.ParseDiccionario(holder, m);
    } catch (const _kelvra_runtime_error&) {
    }
    CheckValues(p);
  }
  return 0;
}
