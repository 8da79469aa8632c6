#pragma once
#include <string>
#include <string_view>

#include "base/errorcatalogue.h"

// What a person is told when a document cannot be encrypted, made from the
// catalogue entry of the library's error: a stable code for programs, a
// sentence for people, and the library text itself (detail) for whoever
// needs the exact cause. The library texts stay what they are (callers such
// as the COM component return them unchanged).
class PdfErrorReport {
 public:
  using Code = ErrorCatalogue::Code;

  PdfErrorReport(Code code, std::string message, std::string detail);

  // The report for entry, thrown with the library text detail while input
  // (a file name as the user gave it) was encrypted. os_error is the
  // system's error number (errno) when the input failed to open, or 0.
  static PdfErrorReport For(const ErrorCatalogue::Entry& entry, const std::string& detail, const std::string& input,
                            int os_error);

  // The code's stable name: "open_failed", "not_pdf", "damaged", ...
  static const char* CodeName(Code code);

  Code code;
  std::string message;  // for a person: "in.pdf is not a PDF file: it does not start with %PDF-"
  std::string detail;   // the library's own text
};
