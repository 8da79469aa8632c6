#pragma once
#include <cstdint>
#include <string>

// The permission letters of a request and the P value of an Encrypt
// dictionary, for every revision.
class PdfPermissions {
 public:
  // Permission bits granted by the letters P, M, C, A, S, D (case-sensitive,
  // anywhere in the text; other characters are ignored).
  static int32_t Bits(const std::string& letters);
  // P for the letters, with the bits a revision always grants.
  static int32_t Value(const std::string& letters, uint32_t required_bits);
  // Whether P grants modifying the document (bit 4), which lets a user
  // password take the protection off.
  static bool MayModify(int32_t p) { return (static_cast<uint32_t>(p) & 0x8u) != 0; }
};
