#include <openssl/crypto.h>

#include "crypt/cryptolibrary.h"

const char* CryptoLibrary::Version() { return OpenSSL_version(OPENSSL_VERSION); }
