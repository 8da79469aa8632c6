#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

// The platform's AES-CBC for one direction (OpenSSL's libcrypto on Linux,
// CNG on Windows): a chain keyed with a key and an IV, run over whole
// blocks, each Run continuing the chain where the last one stopped.
// AesCbc builds IV changes and the two directions on top of it.
class AesCbcEngine {
 public:
  explicit AesCbcEngine(bool encrypt);
  ~AesCbcEngine();
  AesCbcEngine(const AesCbcEngine&) = delete;
  AesCbcEngine& operator=(const AesCbcEngine&) = delete;

  // key_len: 16 or 32. The chain starts at iv.
  void Key(const uint8_t* key, size_t key_len, const uint8_t iv[16]);
  // len: a multiple of 16; in and out may be the same buffer.
  void Run(const uint8_t* in, uint8_t* out, size_t len);

 private:
  struct State;
  std::unique_ptr<State> state_;
};
