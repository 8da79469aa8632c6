#include <utility>

#include "api/pdferrorreport.h"
#include "varnel/varnel.h"

namespace varnel {

Error::Error(ErrorCode code, const std::string& library_text, std::string description)
    : std::runtime_error(description), code_(code), description_(std::move(description)), detail_(library_text) {}

const char* ErrorCodeName(ErrorCode code) {
  const int n = static_cast<int>(code);
  if (n < static_cast<int>(ErrorCode::kOpenFailed) || n > static_cast<int>(ErrorCode::kSigned)) return "unknown";
  return PdfErrorReport::CodeName(static_cast<PdfErrorReport::Code>(n - 1));
}

}  // namespace varnel
