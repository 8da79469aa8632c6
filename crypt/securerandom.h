#pragma once
#include <cstddef>
#include <cstdint>

// Bytes from the platform's cryptographically secure generator (OpenSSL's
// DRBG on Linux, BCryptGenRandom on Windows). An instance draws them in
// blocks, so that a writer taking 16 bytes per string for a million strings
// asks the platform a few thousand times, not a million. Not shared between
// threads: each writer has its own.
class SecureRandom {
 public:
  SecureRandom();
  ~SecureRandom();
  SecureRandom(const SecureRandom&) = delete;
  SecureRandom& operator=(const SecureRandom&) = delete;

  // n bytes from the instance's block, refilled as needed.
  void Draw(uint8_t* out, size_t n);
  // n bytes straight from the platform.
  static void Fill(uint8_t* out, size_t n);

 private:
  static constexpr size_t kBlockBytes = 4096;
  uint8_t block_[kBlockBytes];
  size_t left_ = 0;
};
