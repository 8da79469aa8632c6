// See cmsenvelope_unavailable.cpp.
#include "base/kelvraruntimeerror.h"
#include "crypt/identity.h"

struct Identity::Impl {};

std::shared_ptr<const Identity> Identity::Read(std::string_view, std::string_view) {
  throw _kelvra_runtime_error(errtext::kPublicKeyUnavailable);
}
Identity::Identity(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Identity::~Identity() = default;
std::string Identity::Subject() const { return std::string(); }
void* Identity::Key() const { return nullptr; }
void* Identity::Certificate() const { return nullptr; }
