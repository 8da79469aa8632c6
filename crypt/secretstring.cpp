#include "crypt/secretstring.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <openssl/crypto.h>
#endif

void WipeBytes(void* p, size_t n) noexcept {
  if (p == nullptr || n == 0) return;
#ifdef _WIN32
  SecureZeroMemory(p, n);
#else
  OPENSSL_cleanse(p, n);
#endif
}

void WipeString(std::string* s) noexcept {
  WipeBytes(&(*s)[0], s->capacity());
  s->clear();
}
