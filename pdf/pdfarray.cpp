#include "pdf/pdfarray.h"

#include "base/kelvraruntimeerror.h"

PdfArray::PdfArray() : PdfValue(Kind::Array) {}

PdfArray::~PdfArray() = default;

void PdfArray::Print(int indent) {
  for (PdfValue* v : elements) v->Print(indent + 1);
}

void PdfArray::InsertValue(PdfValue* v) { elements.push_back(v); }

PdfValue* PdfArray::GetValue(int64_t index, bool resolve) {
  if (index < 0 || index >= GetSize()) throw _kelvra_runtime_error(errtext::kArrayIndex);
  return Resolve(elements[static_cast<size_t>(index)], resolve);
}

void PdfArray::Reuse() {
  PdfValue::Reuse();
  elements.clear();
}
