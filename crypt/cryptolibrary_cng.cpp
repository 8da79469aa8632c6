#include "crypt/cryptolibrary.h"

const char* CryptoLibrary::Version() { return "Windows CNG (bcrypt)"; }
