#include <windows.h>
#include <bcrypt.h>

#include "crypt/securerandom.h"
#include "base/kelvraruntimeerror.h"

void SecureRandom::Fill(uint8_t* out, size_t n) {
  while (n > 0) {
    const ULONG piece = n > 0x10000000 ? 0x10000000 : static_cast<ULONG>(n);
    if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, out, piece, BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
      throw _kelvra_runtime_error(errtext::kRandom);
    out += piece;
    n -= piece;
  }
}
