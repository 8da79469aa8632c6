// Where the platform's CMS is not wired in yet (Windows): certificate
// encryption fails with its own error, and everything else works.
#include "base/kelvraruntimeerror.h"
#include "crypt/cmsenvelope.h"

std::string CmsEnvelope::Seal(std::string_view, const std::vector<const RecipientCertificate*>&) {
  throw _kelvra_runtime_error(errtext::kPublicKeyUnavailable);
}
CmsEnvelope::Opened CmsEnvelope::Open(std::string_view, const Identity&) {
  throw _kelvra_runtime_error(errtext::kPublicKeyUnavailable);
}
bool CmsEnvelope::Names(std::string_view, const Identity&) {
  throw _kelvra_runtime_error(errtext::kPublicKeyUnavailable);
}
size_t CmsEnvelope::Recipients(std::string_view) { throw _kelvra_runtime_error(errtext::kPublicKeyUnavailable); }
