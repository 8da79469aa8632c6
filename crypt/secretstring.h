#pragma once
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

// Overwrites n bytes at p with zeros, in a way the compiler keeps.
void WipeBytes(void* p, size_t n) noexcept;
// Wipes every byte s holds (its whole capacity) and leaves it empty.
void WipeString(std::string* s) noexcept;

// The standard allocator, with each block wiped before it is freed.
template <typename T>
struct WipingAllocator {
  using value_type = T;
  WipingAllocator() noexcept = default;
  template <typename U>
  WipingAllocator(const WipingAllocator<U>&) noexcept {}  // NOLINT: rebinding is implicit
  T* allocate(size_t n) { return std::allocator<T>().allocate(n); }
  void deallocate(T* p, size_t n) noexcept {
    WipeBytes(p, n * sizeof(T));
    std::allocator<T>().deallocate(p, n);
  }
  template <typename U>
  bool operator==(const WipingAllocator<U>&) const noexcept {
    return true;
  }
  template <typename U>
  bool operator!=(const WipingAllocator<U>&) const noexcept {
    return false;
  }
};

// Secret bytes: a password, a prepared password, a key. Every buffer it
// lets go of is wiped, the one a short string keeps inside the object too.
// It reads as a std::string_view; Plain() is an ordinary copy, for bytes
// that turn out not to be secret.
class SecretString : public std::basic_string<char, std::char_traits<char>, WipingAllocator<char>> {
  using Base = std::basic_string<char, std::char_traits<char>, WipingAllocator<char>>;

 public:
  using Base::Base;
  SecretString() noexcept = default;
  SecretString(std::string_view bytes) : Base(bytes.data(), bytes.size()) {}  // NOLINT: implicit on purpose
  SecretString(Base bytes) noexcept : Base(std::move(bytes)) {}               // NOLINT: results of + and substr
  SecretString(const SecretString&) = default;
  SecretString(SecretString&&) noexcept = default;
  SecretString& operator=(const SecretString&) = default;
  SecretString& operator=(SecretString&&) noexcept = default;
  ~SecretString() { WipeBytes(&(*this)[0], capacity()); }

  std::string Plain() const { return std::string(data(), size()); }
};
