#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>

#include <climits>

#include "base/kelvraruntimeerror.h"
#include "crypt/identity.h"
#include "crypt/secretstring.h"

struct Identity::Impl {
  EVP_PKEY* key = nullptr;
  X509* certificate = nullptr;
  ~Impl() {
    EVP_PKEY_free(key);
    X509_free(certificate);
  }
};

namespace {

// PEM's password callback: the password given, whatever is asked.
int GivePassword(char* buffer, int size, int /*rwflag*/, void* u) {
  const auto* password = static_cast<const std::string_view*>(u);
  const int n = static_cast<int>(password->size() < static_cast<size_t>(size) ? password->size() : size);
  std::copy(password->data(), password->data() + n, buffer);
  return n;
}

}  // namespace

std::shared_ptr<const Identity> Identity::Read(std::string_view bytes, std::string_view password) {
  if (bytes.size() > INT_MAX) throw _kelvra_runtime_error(errtext::kIdentityUnreadable);
  auto impl = std::make_unique<Impl>();
  BIO* in = BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size()));
  if (bytes.find("-----BEGIN") != std::string_view::npos) {
    // The key and the certificate, in either order.
    while (in != nullptr && (impl->key == nullptr || impl->certificate == nullptr)) {
      char* name = nullptr;
      char* header = nullptr;
      unsigned char* data = nullptr;
      long length = 0;
      if (PEM_read_bio(in, &name, &header, &data, &length) != 1) break;
      const std::string kind = name;
      BIO* block = BIO_new(BIO_s_mem());
      PEM_write_bio(block, name, header, data, length);
      if (kind == "CERTIFICATE" && impl->certificate == nullptr)
        impl->certificate = PEM_read_bio_X509(block, nullptr, nullptr, nullptr);
      else if (kind.find("PRIVATE KEY") != std::string::npos && impl->key == nullptr)
        impl->key = PEM_read_bio_PrivateKey(block, nullptr, GivePassword, &password);
      BIO_free(block);
      OPENSSL_free(name);
      OPENSSL_free(header);
      OPENSSL_clear_free(data, static_cast<size_t>(length));
    }
  } else if (PKCS12* p12 = d2i_PKCS12_bio(in, nullptr)) {
    const SecretString typed(password);
    PKCS12_parse(p12, typed.c_str(), &impl->key, &impl->certificate, nullptr);
    PKCS12_free(p12);
  }
  BIO_free(in);
  ERR_clear_error();
  if (impl->key == nullptr || impl->certificate == nullptr || X509_check_private_key(impl->certificate, impl->key) != 1)
    throw _kelvra_runtime_error(errtext::kIdentityUnreadable);
  return std::make_shared<const Identity>(std::move(impl));
}

Identity::Identity(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Identity::~Identity() = default;

std::string Identity::Subject() const {
  char text[256];
  X509_NAME_oneline(X509_get_subject_name(impl_->certificate), text, sizeof text);
  return text;
}

void* Identity::Key() const { return impl_->key; }
void* Identity::Certificate() const { return impl_->certificate; }
