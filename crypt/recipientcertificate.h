#pragma once
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// An X.509 certificate a document is encrypted for. Read from PEM (every
// CERTIFICATE block of the file) or DER; the platform's crypto library
// holds the parsed certificate, which the envelope code uses.
class RecipientCertificate {
 public:
  // Every certificate in bytes; name says where they came from in errors.
  // Throws "RecipientCertificate:unreadable:" + name when there is none.
  static std::vector<RecipientCertificate> Read(std::string_view bytes, const std::string& name);

  RecipientCertificate(RecipientCertificate&&) noexcept;
  RecipientCertificate& operator=(RecipientCertificate&&) noexcept;
  ~RecipientCertificate();

  // Where it came from and its subject, for a person: "bob.pem (/CN=Bob)".
  std::string Name() const;
  // Its subject alone: "/CN=Bob".
  std::string Subject() const;
  // Why the file key cannot be sealed for it, in words ("it expired on
  // 2025-03-01", "its key is not RSA", "its key usage does not allow key
  // encipherment"); empty when it can.
  std::string Unusable() const;
  // The platform's certificate (OpenSSL: X509*; crypt32: PCCERT_CONTEXT).
  void* Native() const;

 private:
  struct Impl;
  explicit RecipientCertificate(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};
