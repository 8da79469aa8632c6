#include <unicode/usprep.h>
#include <unicode/ustring.h>

#include <vector>

#include "crypt/saslprep.h"
#include "base/kelvraruntimeerror.h"

namespace {
// UTF-16 forms of a password, wiped when freed.
using Units = std::vector<UChar, WipingAllocator<UChar>>;
}  // namespace

bool SaslPrep::Prepare(std::string_view utf8, bool stored, SecretString* out) {
  if (utf8.size() > (1u << 20)) return false;
  UErrorCode status = U_ZERO_ERROR;
  UStringPrepProfile* profile = usprep_openByType(USPREP_RFC4013_SASLPREP, &status);
  if (U_FAILURE(status)) throw _kelvra_runtime_error(errtext::kSaslPrepProfile);
  // UTF-8 to UTF-16 never needs more code units than bytes.
  Units source(utf8.size() + 1);
  int32_t source_len = 0;
  u_strFromUTF8(source.data(), static_cast<int32_t>(source.size()), &source_len, utf8.data(),
                static_cast<int32_t>(utf8.size()), &status);
  bool ok = U_SUCCESS(status);
  Units prepared(4 * source.size() + 16);
  int32_t prepared_len = 0;
  if (ok) {
    UParseError where;
    prepared_len =
        usprep_prepare(profile, source.data(), source_len, prepared.data(), static_cast<int32_t>(prepared.size()),
                       stored ? USPREP_DEFAULT : USPREP_ALLOW_UNASSIGNED, &where, &status);
    ok = U_SUCCESS(status);
  }
  usprep_close(profile);
  if (!ok) return false;
  SecretString result(4 * static_cast<size_t>(prepared_len) + 1, '\0');
  int32_t result_len = 0;
  u_strToUTF8(&result[0], static_cast<int32_t>(result.size()), &result_len, prepared.data(), prepared_len, &status);
  if (U_FAILURE(status)) return false;
  result.resize(static_cast<size_t>(result_len));
  *out = std::move(result);
  return true;
}
