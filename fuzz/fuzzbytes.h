#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "crypt/pdfsecurityhandler.h"

// Takes bytes from the front of a fuzz input; zeros once it is used up.
class FuzzBytes {
 public:
  FuzzBytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  std::string Take(size_t n) {
    std::string out;
    while (n-- > 0 && at_ < size_) out.push_back(static_cast<char>(data_[at_++]));
    return out;
  }
  std::string Rest() { return Take(size_ - at_); }
  // bytes as a PDF hexadecimal string.
  static std::string Hex(const std::string& bytes) { return "<" + PdfSecurityHandler::Hex(bytes) + ">"; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};
