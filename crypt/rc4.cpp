#include "crypt/rc4.h"

#include <algorithm>
#include <cstring>

#include "pdf/kelvraruntimeerror.h"

Rc4::Rc4(const uint8_t* key, size_t key_len) {
  if (key_len == 0 || key_len > 256) throw _kelvra_runtime_error("Rc4::Rc4:key length");
  // The key repeated over 256 bytes, so that the schedule reads it without
  // wrapping an index: every object's key costs one schedule.
  uint8_t repeated[256];
  for (size_t at = 0; at < 256; at += key_len) std::memcpy(repeated + at, key, std::min(key_len, 256 - at));
  for (int k = 0; k < 256; ++k) s_[k] = static_cast<uint8_t>(k);
  uint8_t j = 0;
  for (int k = 0; k < 256; ++k) {
    const uint8_t t = s_[k];
    j = static_cast<uint8_t>(j + t + repeated[k]);
    s_[k] = s_[j];
    s_[j] = t;
  }
}

void Rc4::Crypt(uint8_t* buffer, size_t len) {
  // Local copies of the indices let the compiler keep them in registers.
  uint8_t i = i_, j = j_;
  uint8_t* s = s_;
  for (size_t n = 0; n < len; ++n) {
    i = static_cast<uint8_t>(i + 1);
    uint8_t si = s[i];
    j = static_cast<uint8_t>(j + si);
    uint8_t sj = s[j];
    s[i] = sj;
    s[j] = si;
    buffer[n] ^= s[static_cast<uint8_t>(si + sj)];
  }
  i_ = i;
  j_ = j;
}
