#include "pdf/pdfvalue.h"

#include <cstdio>

#include "pdf/pdffileparser.h"

PdfValue::PdfValue() : class_type(Kind::Value) {}

PdfValue::PdfValue(Kind k) : class_type(k) {}

PdfValue::~PdfValue() = default;

void PdfValue::Print(int) { std::printf("%s", text.c_str()); }

void PdfValue::InsertValue(PdfValue*) {}

std::string PdfValue::GetClassType() {
  switch (class_type) {
    case Kind::Array:
      return "PdfArray";
    case Kind::Dictionary:
      return "PdfDiccionario";
    case Kind::KeyValuePair:
      return "PdfKeyValuePair";
    case Kind::Value:
      break;
  }
  return "PdfValue";
}

PdfValue* PdfValue::Resolve(PdfValue* v, bool resolve) const {
  if (!resolve || v == nullptr || v->class_type != Kind::Value || v->native_type != NATIVE_REFERENCE) return v;
  PdfFileParser* p = parser != nullptr ? parser : v->parser;
  if (p == nullptr) return v;
  return p->DameObjeto(v->text);
}

void PdfValue::Reuse() {
  obj_number = -1;
  obj_generation = -1;
  text.clear();
  native_type = 0;
  parser = nullptr;
}
