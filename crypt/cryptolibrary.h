#pragma once

// The platform crypto library that AES, SHA-2 and random bytes come from.
class CryptoLibrary {
 public:
  // Its name and version, e.g. "OpenSSL 3.0.15 3 Sep 2024" or "Windows CNG".
  static const char* Version();
};
