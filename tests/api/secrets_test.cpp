// No freed heap block holds a password once a call is over: while the check is on, every operator delete of this
// program looks for it in the block it frees.
#include <gtest/gtest.h>
#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <new>
#include <string>
#include <utility>

#include "varnel/varnel.h"

namespace {

std::atomic<bool> g_watching{false};
std::atomic<int> g_found{0};
std::string* g_marker = nullptr;

void Inspect(void* p) {
  if (p == nullptr || !g_watching.load(std::memory_order_relaxed)) return;
  if (memmem(p, malloc_usable_size(p), g_marker->data(), g_marker->size()) != nullptr) g_found.fetch_add(1);
}

}  // namespace

void* operator new(size_t size) {
  if (void* p = std::malloc(size != 0 ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](size_t size) { return operator new(size); }
void operator delete(void* p) noexcept {
  Inspect(p);
  std::free(p);
}
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete(void* p, size_t) noexcept { operator delete(p); }
void operator delete[](void* p, size_t) noexcept { operator delete(p); }

namespace {

const std::string& Sample() {
  static const std::string bytes(
      (std::istreambuf_iterator<char>(std::ifstream(VARNEL_TEST_DATA "/writer_golden_input.pdf", std::ios::binary).rdbuf())),
      {});
  return bytes;
}

TEST(Secrets, NoFreedBlockHoldsAPassword) {
  const std::pair<varnel::Cipher, std::string> rows[] = {{varnel::Cipher::kAes256, "user-password-one-of-a-kind"},
                                                         {varnel::Cipher::kAes128, "user-password-two-of-a-kind"},
                                                         {varnel::Cipher::kRc4_128, "user-password-six-of-a-kind"}};
  Sample();
  for (auto [cipher, password] : rows) {
    // Longer than a string holds inside itself, so that every copy is a heap block. The caller's own copies are
    // made before the check and freed after it.
    varnel::EncryptOptions encrypt, reencrypt;
    encrypt.user_password = encrypt.owner_password = password;
    encrypt.cipher = cipher;
    encrypt.verify = true;
    reencrypt = encrypt;
    reencrypt.input_password = password;
    varnel::DecryptOptions decrypt;
    decrypt.password = password;
    const std::optional<std::string> check = password;
    std::string locked;
    g_marker = &password;
    g_found = 0;
    g_watching = true;
    locked = varnel::EncryptBuffer(Sample(), encrypt);
    varnel::DecryptBuffer(locked, decrypt);
    varnel::CheckBuffer(locked, check);
    varnel::EncryptBuffer(locked, reencrypt);
    g_watching = false;
    EXPECT_EQ(g_found.load(), 0) << password;
  }
}

}  // namespace
