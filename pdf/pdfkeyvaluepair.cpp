#include "pdf/pdfkeyvaluepair.h"

#include <cstdio>

PdfKeyValuePair::PdfKeyValuePair() : PdfValue(Kind::KeyValuePair) {}

PdfKeyValuePair::~PdfKeyValuePair() = default;

void PdfKeyValuePair::Print(int indent) {
  std::printf("%*s%s ", indent, "", key.c_str());
  if (value != nullptr) value->Print(indent + 1);
}

void PdfKeyValuePair::InsertValue(PdfValue* v) { value = v; }

void PdfKeyValuePair::Reuse() {
  PdfValue::Reuse();
  key.clear();
  value = nullptr;
}
