#pragma once
#include <memory>
#include <string>
#include <string_view>

// A private key and its certificate: who opens a document encrypted for
// named recipients. Read from PKCS#12 (.p12, .pfx) or from PEM holding both
// (the key encrypted or not); the password opens either. The key stays in
// the platform's crypto library, which wipes it when the identity goes.
class Identity {
 public:
  // Throws "Identity:unreadable" when the bytes hold no key with its
  // certificate, or the password does not open them.
  static std::shared_ptr<const Identity> Read(std::string_view bytes, std::string_view password);
  ~Identity();

  // The certificate's subject, for a person: "/CN=Bob/O=Example".
  std::string Subject() const;
  // The platform's key and certificate (OpenSSL: EVP_PKEY*, X509*; crypt32:
  // HCRYPTPROV_OR_NCRYPT_KEY_HANDLE, PCCERT_CONTEXT holding the key).
  void* Key() const;
  void* Certificate() const;

  struct Impl;
  explicit Identity(std::unique_ptr<Impl> impl);

 private:
  std::unique_ptr<Impl> impl_;
};
