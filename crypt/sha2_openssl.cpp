#include <openssl/evp.h>

#include "crypt/sha2.h"
#include "base/kelvraruntimeerror.h"

SecretString Sha2::Digest(int bits, const void* data, size_t len) {
  const EVP_MD* md = bits == 160   ? EVP_sha1()
                     : bits == 256 ? EVP_sha256()
                     : bits == 384 ? EVP_sha384()
                     : bits == 512 ? EVP_sha512()
                                   : nullptr;
  if (md == nullptr) throw _kelvra_runtime_error(errtext::kSha2Size);
  unsigned char out[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  if (EVP_Digest(data, len, out, &n, md, nullptr) != 1) throw _kelvra_runtime_error(errtext::kSha2Failed);
  SecretString digest(reinterpret_cast<const char*>(out), n);
  WipeBytes(out, sizeof out);
  return digest;
}
