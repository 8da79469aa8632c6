#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// MD5 message digest (RFC 1321). Incremental use: Init (done by the
// constructor too), any number of Update calls, then Final, which writes the
// 16-byte digest and leaves the context ready for a fresh Init.
class Md5 {
 public:
  static constexpr size_t kDigestSize = 16;

  Md5();
  void Init();
  void Update(const void* data, size_t len);
  void Final(uint8_t out[kDigestSize]);

  // One-shot digest of a byte range.
  static void Digest(const void* data, size_t len, uint8_t out[kDigestSize]);
  static std::string Digest(const std::string& bytes);

 private:
  void Transform(const uint8_t block[64]);

  uint32_t state_[4];
  uint64_t length_;  // bytes hashed so far
  uint8_t buffer_[64];
};
