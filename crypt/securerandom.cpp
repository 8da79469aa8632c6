#include "crypt/securerandom.h"

#include <cstring>

SecureRandom::SecureRandom() = default;

SecureRandom::~SecureRandom() {
  // What is left of the block is key and IV material to come.
  volatile uint8_t* p = block_;
  for (size_t i = 0; i < kBlockBytes; ++i) p[i] = 0;
}

void SecureRandom::Draw(uint8_t* out, size_t n) {
  while (n > 0) {
    if (left_ == 0) {
      Fill(block_, kBlockBytes);
      left_ = kBlockBytes;
    }
    const size_t take = n < left_ ? n : left_;
    // Bytes are taken from the end of the block and wiped there, so none is
    // ever handed out twice.
    std::memcpy(out, block_ + left_ - take, take);
    std::memset(block_ + left_ - take, 0, take);
    left_ -= take;
    out += take;
    n -= take;
  }
}
