#include "api/keymaterial.h"

#include <fstream>
#include <iterator>

#include "base/kelvraruntimeerror.h"
#include "crypt/secretstring.h"

namespace {

constexpr std::streamoff kMaxKeyFileBytes = std::streamoff{1} << 20;

// The file's bytes; false when it cannot be read or is far too large.
bool ReadSmallFile(const std::string& path, SecretString* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out->assign(std::istreambuf_iterator<char>(in.rdbuf()), {});
  return !in.bad() && static_cast<std::streamoff>(out->size()) <= kMaxKeyFileBytes;
}

}  // namespace

std::shared_ptr<const Identity> KeyMaterial::Load(const varnel::Identity& identity) {
  SecretString bytes(identity.bytes);
  if (identity.bytes.empty() && !ReadSmallFile(identity.path, &bytes))
    throw _kelvra_runtime_error(errtext::kIdentityUnreadable);
  return Identity::Read(bytes, identity.password);
}

std::vector<RecipientCertificate> KeyMaterial::Load(const std::vector<varnel::Certificate>& certificates, bool any) {
  std::vector<RecipientCertificate> all;
  for (const varnel::Certificate& c : certificates) {
    const std::string name = c.bytes.empty() ? c.path : "a certificate given as bytes";
    SecretString bytes(c.bytes);
    if (c.bytes.empty() && !ReadSmallFile(c.path, &bytes))
      throw _kelvra_runtime_error(errtext::kCertificateUnreadable, name);
    for (RecipientCertificate& r : RecipientCertificate::Read(bytes, name)) {
      const std::string why = any ? std::string() : r.Unusable();
      if (!why.empty()) throw _kelvra_runtime_error(errtext::kCertificateUnusable, r.Name() + ": " + why);
      all.push_back(std::move(r));
    }
  }
  return all;
}
