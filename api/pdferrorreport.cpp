#include "api/pdferrorreport.h"

#include <algorithm>
#include <cstring>
#include <utility>

PdfErrorReport::PdfErrorReport(Code code_in, std::string message_in, std::string detail_in)
    : code(code_in), message(std::move(message_in)), detail(std::move(detail_in)) {}

PdfErrorReport PdfErrorReport::For(const ErrorCatalogue::Entry& entry, const std::string& detail,
                                   const std::string& input, int os_error) {
  std::string lead;
  switch (entry.code) {
    case Code::kOpenFailed:
      // The system's reason, when it gave one, says more than ours.
      if (os_error != 0) return {entry.code, "cannot open " + input + ": " + std::strerror(os_error), detail};
      lead = "cannot open " + input;
      break;
    case Code::kNotPdf:
      lead = input + " is not a PDF file";
      break;
    case Code::kDamaged:
      lead = input + " is damaged";
      break;
    case Code::kEncrypted:
      lead = input + " is already encrypted";
      break;
    case Code::kWrongPassword:
      lead = &entry == &errtext::kWrongPassword ? "the password does not open " + input : input + " does not open";
      break;
    case Code::kOwnerPasswordRequired:
      lead =
          &entry == &errtext::kOwnerPasswordNeeded ? input + " needs its owner password" : input + " stays protected";
      break;
    case Code::kLimitExceeded:
      lead = input + " goes beyond a limit set against hostile files";
      break;
    case Code::kOutputFailed:
      lead = "cannot write the copy of " + input;
      break;
    case Code::kUsage:
      lead = input + " cannot be encrypted as asked";
      // Which certificate, and why, follow the entry's text.
      if (&entry == &errtext::kCertificateUnusable || &entry == &errtext::kCertificateUnreadable) {
        const std::string which = detail.substr(std::min(detail.size(), std::strlen(entry.text)));
        const std::string hint =
            &entry == &errtext::kCertificateUnusable ? " (--allow-any-certificate uses it anyway)" : "";
        return {entry.code, lead + ": " + entry.sentence + ": " + which + hint, detail};
      }
      break;
    case Code::kSigned: {
      // What is signed follows the entry's text: "2 signatures and a certification".
      const std::string what = detail.substr(std::min(detail.size(), std::strlen(entry.text)));
      const bool one = what == "1 signature" || what == "a certification" || what == "usage rights";
      return {entry.code,
              input + " is signed (" + what + "); encrypting it invalidates " + (one ? "it" : "them") +
                  ": use --invalidate-signatures to go ahead",
              detail};
    }
  }
  return {entry.code, lead + ": " + entry.sentence, detail};
}

const char* PdfErrorReport::CodeName(Code code) {
  switch (code) {
    case Code::kOpenFailed:
      return "open_failed";
    case Code::kNotPdf:
      return "not_pdf";
    case Code::kDamaged:
      return "damaged";
    case Code::kEncrypted:
      return "encrypted";
    case Code::kWrongPassword:
      return "wrong_password";
    case Code::kOwnerPasswordRequired:
      return "owner_password_required";
    case Code::kLimitExceeded:
      return "limit_exceeded";
    case Code::kOutputFailed:
      return "output_failed";
    case Code::kUsage:
      return "usage";
    case Code::kSigned:
      return "signed";
  }
  return "damaged";
}
