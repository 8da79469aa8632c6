#include "pdf/pdfvaluepool.h"

#include "pdf/pdfdiccionario.h"

bool PdfValuePool::ReleaseFrom(size_t mark) {
  for (size_t i = mark; i < values.size(); ++i) {
    const PdfValue* v = values[i].get();
    if (v->kind() == PdfValue::Kind::Dictionary && static_cast<const PdfDiccionario*>(v)->stream_decoded) return false;
  }
  for (size_t i = mark; i < values.size(); ++i) {
    const PdfValue* v = values[i].get();
    // Only the top value of an indirect object carries its number, and only
    // such values are cached.
    if (v->obj_number >= 0) {
      Forget(v->obj_number, v->obj_generation, v);
    }
    // The values are kept for reuse by the factory: a document's millions
    // of values then cost few allocations.
    spare_values_[static_cast<size_t>(v->kind())].push_back(std::move(values[i]));
  }
  if (mark < values.size()) values.resize(mark);
  return true;
}

void PdfValuePool::Clear() {
  cache.clear();
  values.clear();
  for (auto& spare : spare_values_) spare.clear();
}
