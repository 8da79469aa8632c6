#include "api/errortranslation.h"

#include "api/currentexception.h"

// The public codes are the report's, counted from 1.
static_assert(static_cast<int>(varnel::ErrorCode::kOpenFailed) ==
              static_cast<int>(PdfErrorReport::Code::kOpenFailed) + 1);
static_assert(static_cast<int>(varnel::ErrorCode::kSigned) == static_cast<int>(PdfErrorReport::Code::kSigned) + 1);

varnel::Error PublicError(const PdfErrorReport& report) {
  return varnel::Error(static_cast<varnel::ErrorCode>(static_cast<int>(report.code) + 1), report.detail,
                       report.message);
}

void ThrowPublicError(const std::string& input, int os_error) {
  try {
    throw;
  } catch (const varnel::Error&) {
    throw;
  } catch (...) {
    std::string detail;
    const ErrorCatalogue::Entry& entry = CurrentError(&detail);
    throw PublicError(PdfErrorReport::For(entry, detail, input, os_error));
  }
}
