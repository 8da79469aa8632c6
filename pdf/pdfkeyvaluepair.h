#pragma once
#include <string>

#include "pdf/pdfvalue.h"

// One dictionary entry: a key (a name with its "/") and a value, not owned.
class PdfKeyValuePair : public PdfValue {
 public:
  PdfKeyValuePair();
  ~PdfKeyValuePair() override;
  void Reuse() override;

  void Print(int indent) override;
  // Sets the value.
  void InsertValue(PdfValue* v) override;
  PdfValue* GetValue(bool resolve) const { return Resolve(value, resolve); }

  std::string key;
  PdfValue* value = nullptr;
};
