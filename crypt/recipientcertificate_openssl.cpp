#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <climits>
#include <ctime>

#include "base/kelvraruntimeerror.h"
#include "crypt/recipientcertificate.h"

struct RecipientCertificate::Impl {
  X509* x509 = nullptr;
  std::string source;
  ~Impl() { X509_free(x509); }
};

namespace {

// A one-line subject: "/CN=Bob/O=Example".
std::string SubjectOf(X509* x509) {
  char text[256];
  X509_NAME_oneline(X509_get_subject_name(x509), text, sizeof text);
  return text;
}

std::string Day(const ASN1_TIME* t) {
  struct tm tm {};
  if (ASN1_TIME_to_tm(t, &tm) != 1) return "an unreadable date";
  char text[16];
  std::strftime(text, sizeof text, "%Y-%m-%d", &tm);
  return text;
}

}  // namespace

std::vector<RecipientCertificate> RecipientCertificate::Read(std::string_view bytes, const std::string& name) {
  std::vector<RecipientCertificate> found;
  if (bytes.size() > INT_MAX) throw _kelvra_runtime_error(errtext::kCertificateUnreadable, name);
  auto add = [&](X509* x509) {
    auto impl = std::make_unique<Impl>();
    impl->x509 = x509;
    impl->source = name;
    found.push_back(RecipientCertificate(std::move(impl)));
  };
  if (bytes.find("-----BEGIN") != std::string_view::npos) {
    BIO* in = BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size()));
    // Every certificate block; other blocks (a key) are passed over.
    while (in != nullptr) {
      X509* x509 = PEM_read_bio_X509(in, nullptr, nullptr, nullptr);
      if (x509 == nullptr) break;
      add(x509);
    }
    BIO_free(in);
  } else {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    X509* x509 = d2i_X509(nullptr, &p, static_cast<long>(bytes.size()));
    if (x509 != nullptr) add(x509);
  }
  ERR_clear_error();
  if (found.empty()) throw _kelvra_runtime_error(errtext::kCertificateUnreadable, name);
  return found;
}

RecipientCertificate::RecipientCertificate(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
RecipientCertificate::RecipientCertificate(RecipientCertificate&&) noexcept = default;
RecipientCertificate& RecipientCertificate::operator=(RecipientCertificate&&) noexcept = default;
RecipientCertificate::~RecipientCertificate() = default;

std::string RecipientCertificate::Name() const { return impl_->source + " (" + Subject() + ")"; }
std::string RecipientCertificate::Subject() const { return SubjectOf(impl_->x509); }

std::string RecipientCertificate::Unusable() const {
  X509* x509 = impl_->x509;
  if (X509_cmp_current_time(X509_get0_notAfter(x509)) < 0) return "it expired on " + Day(X509_get0_notAfter(x509));
  if (X509_cmp_current_time(X509_get0_notBefore(x509)) > 0)
    return "it is not valid before " + Day(X509_get0_notBefore(x509));
  const EVP_PKEY* key = X509_get0_pubkey(x509);
  if (key == nullptr || EVP_PKEY_get_base_id(key) != EVP_PKEY_RSA) return "its key is not RSA";
  // Without the extension every use is allowed.
  const uint32_t usage = X509_get_key_usage(x509);
  if (usage != UINT32_MAX && (usage & KU_KEY_ENCIPHERMENT) == 0) return "its key usage does not allow key encipherment";
  return std::string();
}

void* RecipientCertificate::Native() const { return impl_->x509; }
