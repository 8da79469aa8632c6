// See cmsenvelope_unavailable.cpp.
#include "base/kelvraruntimeerror.h"
#include "crypt/recipientcertificate.h"

struct RecipientCertificate::Impl {};

std::vector<RecipientCertificate> RecipientCertificate::Read(std::string_view, const std::string&) {
  throw _kelvra_runtime_error(errtext::kPublicKeyUnavailable);
}
RecipientCertificate::RecipientCertificate(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
RecipientCertificate::RecipientCertificate(RecipientCertificate&&) noexcept = default;
RecipientCertificate& RecipientCertificate::operator=(RecipientCertificate&&) noexcept = default;
RecipientCertificate::~RecipientCertificate() = default;
std::string RecipientCertificate::Name() const { return std::string(); }
std::string RecipientCertificate::Unusable() const { return std::string(); }
void* RecipientCertificate::Native() const { return nullptr; }
