#pragma once
#include <cstddef>
#include <string>

#include "crypt/secretstring.h"

// SHA-256, SHA-384 and SHA-512 (FIPS 180-4), and SHA-1 (bits 160) for the
// file keys of certificate encryption with AES-128 from the platform's crypto
// library (OpenSSL's libcrypto on Linux, CNG on Windows).
class Sha2 {
 public:
  // bits: 160, 256, 384 or 512. Returns the digest, bits / 8 bytes (secret: it
  // is key material where the data are).
  static SecretString Digest(int bits, const void* data, size_t len);
  static SecretString Digest(int bits, std::string_view bytes) { return Digest(bits, bytes.data(), bytes.size()); }
};
