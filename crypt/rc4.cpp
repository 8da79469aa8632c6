#include "crypt/rc4.h"

#include "pdf/kelvraruntimeerror.h"

Rc4::Rc4(const uint8_t* key, size_t key_len) {
  if (key_len == 0 || key_len > 256) throw _kelvra_runtime_error("Rc4::Rc4:key length");
  for (int k = 0; k < 256; ++k) s_[k] = static_cast<uint8_t>(k);
  uint8_t j = 0;
  size_t pos = 0;
  for (int k = 0; k < 256; ++k) {
    j = static_cast<uint8_t>(j + s_[k] + key[pos]);
    if (++pos == key_len) pos = 0;
    uint8_t t = s_[k];
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
