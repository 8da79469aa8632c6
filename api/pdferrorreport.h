#pragma once
#include <string>
#include <string_view>

// What a person is told when a document cannot be encrypted, made from the
// library's own error text: a stable code for programs, a sentence for
// people, and the library text itself (detail) for whoever needs the exact
// cause. The library texts stay what they are (callers such as the COM
// component return them unchanged); this is the one place that reads them.
class PdfErrorReport {
 public:
  // The text of a refusal to rewrite a signed document, followed by what is
  // signed ("2 signatures").
  static constexpr std::string_view kSignedText = "DocumentEncryptor:signed:";

  enum class Code {
    kOpenFailed,             // the input could not be opened or read at all
    kNotPdf,                 // it does not start like a PDF file
    kDamaged,                // its structure could not be read
    kEncrypted,              // it is encrypted already
    kWrongPassword,          // the input password given does not open it
    kOwnerPasswordRequired,  // it opens, but re-encrypting needs its owner password
    kLimitExceeded,          // it goes beyond a limit set against hostile files
    kOutputFailed,           // the output could not be written
    kUsage,                  // the request itself is wrong (options, names)
    kSigned,                 // it is signed, and rewriting it would invalidate the signatures
  };

  PdfErrorReport(Code code, std::string message, std::string detail);

  // The report for the library error text thrown while input (a file name
  // as the user gave it) was encrypted. os_error is the system's error
  // number (errno) when the input failed to open, or 0.
  static PdfErrorReport FromLibraryText(const std::string& text, const std::string& input, int os_error);

  // The code's stable name: "open_failed", "not_pdf", "damaged", ...
  static const char* CodeName(Code code);

  Code code;
  std::string message;  // for a person: "in.pdf is not a PDF file"
  std::string detail;   // the library's own text
};
