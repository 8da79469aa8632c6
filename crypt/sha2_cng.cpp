#include <windows.h>
#include <bcrypt.h>

#include "crypt/sha2.h"
#include "base/kelvraruntimeerror.h"

SecretString Sha2::Digest(int bits, const void* data, size_t len) {
  const wchar_t* name = bits == 160   ? BCRYPT_SHA1_ALGORITHM
                        : bits == 256 ? BCRYPT_SHA256_ALGORITHM
                        : bits == 384 ? BCRYPT_SHA384_ALGORITHM
                        : bits == 512 ? BCRYPT_SHA512_ALGORITHM
                                      : nullptr;
  if (name == nullptr) throw _kelvra_runtime_error(errtext::kSha2Size);
  BCRYPT_ALG_HANDLE alg = nullptr;
  if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&alg, name, nullptr, 0)))
    throw _kelvra_runtime_error(errtext::kSha2Failed);
  SecretString out(static_cast<size_t>(bits / 8), '\0');
  BCRYPT_HASH_HANDLE hash = nullptr;
  bool ok = BCRYPT_SUCCESS(BCryptCreateHash(alg, &hash, nullptr, 0, nullptr, 0, 0));
  const auto* p = static_cast<const UCHAR*>(data);
  while (ok && len > 0) {
    const ULONG piece = len > 0x10000000 ? 0x10000000 : static_cast<ULONG>(len);
    ok = BCRYPT_SUCCESS(BCryptHashData(hash, const_cast<PUCHAR>(p), piece, 0));
    p += piece;
    len -= piece;
  }
  ok = ok &&
       BCRYPT_SUCCESS(BCryptFinishHash(hash, reinterpret_cast<PUCHAR>(&out[0]), static_cast<ULONG>(out.size()), 0));
  if (hash != nullptr) BCryptDestroyHash(hash);
  BCryptCloseAlgorithmProvider(alg, 0);
  if (!ok) throw _kelvra_runtime_error(errtext::kSha2Failed);
  return out;
}
