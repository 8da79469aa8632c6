#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

// AES in CBC mode over whole 16-byte blocks, from the platform's crypto
// library (OpenSSL's libcrypto on Linux, CNG on Windows). Padding is the
// caller's. The chaining value carries over from one Encrypt call to the
// next call in the same direction, so data may be given in pieces of any
// whole number of blocks; SetIv, SetKey or a change of direction restarts
// the chain from the IV last set.
class AesCbc {
 public:
  static constexpr size_t kBlockBytes = 16;

  // key_len: 16 (AES-128) or 32 (AES-256). The IV starts as zeros.
  AesCbc(const uint8_t* key, size_t key_len);
  ~AesCbc();
  AesCbc(const AesCbc&) = delete;
  AesCbc& operator=(const AesCbc&) = delete;

  // A new key (same rules as the constructor); the IV becomes zeros.
  void SetKey(const uint8_t* key, size_t key_len);
  void SetIv(const uint8_t iv[kBlockBytes]);
  // len must be a multiple of 16; in and out may be the same buffer.
  void Encrypt(const uint8_t* in, uint8_t* out, size_t len);
  void Decrypt(const uint8_t* in, uint8_t* out, size_t len);

 private:
  struct State;
  std::unique_ptr<State> state_;
};
