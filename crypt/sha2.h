#pragma once
#include <cstddef>
#include <string>

// SHA-256, SHA-384 and SHA-512 (FIPS 180-4) from the platform's crypto
// library (OpenSSL's libcrypto on Linux, CNG on Windows).
class Sha2 {
 public:
  // bits: 256, 384 or 512. Returns the digest, bits / 8 bytes.
  static std::string Digest(int bits, const void* data, size_t len);
  static std::string Digest(int bits, const std::string& bytes) { return Digest(bits, bytes.data(), bytes.size()); }
};
