#pragma once
#include <string>

#include "api/pdferrorreport.h"
#include "varnel/varnel.h"

// The public error for a report (same code, the sentence for a person as
// what(), the library text as detail()).
varnel::Error PublicError(const PdfErrorReport& report);

// Rethrows the exception being handled as varnel::Error: one already is
// passes through; anything else is reported by its catalogue entry as a failure of
// the document named input (os_error: errno when it failed to open, or 0).
[[noreturn]] void ThrowPublicError(const std::string& input, int os_error = 0);

// Runs work, letting nothing but varnel::Error out of it.
template <typename Work>
auto Guarded(const std::string& input, Work&& work) -> decltype(work()) {
  try {
    return work();
  } catch (...) {
    ThrowPublicError(input);
  }
}
