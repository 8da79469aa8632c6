#pragma once
#include <cstddef>
#include <cstdint>

// RC4 stream cipher. The constructor runs the key schedule; Crypt XORs a
// buffer in place with the key stream and keeps its position, so a long
// stream may be processed in chunks of any size with the same result as in
// one call. Encryption and decryption are the same operation.
class Rc4 {
 public:
  // key_len must be 1 to 256 bytes.
  Rc4(const uint8_t* key, size_t key_len);
  void Crypt(uint8_t* buffer, size_t len);

 private:
  void CryptLong(uint8_t* buffer, size_t len);

  uint8_t s_[256];
  uint8_t i_ = 0;
  uint8_t j_ = 0;
};
