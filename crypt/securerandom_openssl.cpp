#include <openssl/rand.h>

#include <climits>

#include "crypt/securerandom.h"
#include "base/kelvraruntimeerror.h"

void SecureRandom::Fill(uint8_t* out, size_t n) {
  while (n > 0) {
    const int piece = n > INT_MAX ? INT_MAX : static_cast<int>(n);
    if (RAND_bytes(out, piece) != 1) throw _kelvra_runtime_error(errtext::kRandom);
    out += piece;
    n -= static_cast<size_t>(piece);
  }
}
