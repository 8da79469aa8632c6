#pragma once
#include <vector>

#include "pdf/pdfvalue.h"

// An array: its elements in file order, not owned.
class PdfArray : public PdfValue {
 public:
  PdfArray();
  ~PdfArray() override;
  void Reuse() override;

  void Print(int indent) override;
  void InsertValue(PdfValue* v) override;

  // The element at index, resolved one level when asked; throws
  // "PdfArray::GetValue. Out of range index." outside 0..GetSize()-1.
  PdfValue* GetValue(int64_t index, bool resolve);
  int64_t GetSize() const { return static_cast<int64_t>(elements.size()); }

  std::vector<PdfValue*> elements;
};
