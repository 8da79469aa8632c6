// No freed heap block holds a password: while the check is on, every operator delete looks for it in its block.
#include <gtest/gtest.h>
#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <utility>

#include "tests/pdfbuilder.h"
#include "varnel/varnel.h"

namespace {
std::atomic<bool> g_watching{false};
std::atomic<int> g_found{0};
const std::string* g_marker = nullptr;

void* Allocate(size_t size) {
  if (void* p = std::malloc(size != 0 ? size : 1)) return p;
  throw std::bad_alloc();
}
void Release(void* p) noexcept {
  if (p != nullptr && g_watching && memmem(p, malloc_usable_size(p), g_marker->data(), g_marker->size()) != nullptr)
    ++g_found;
  std::free(p);
}
}  // namespace

// Every form, so that no block is allocated by one allocator and freed by the other.
void* operator new(size_t size) { return Allocate(size); }
void* operator new[](size_t size) { return Allocate(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return std::malloc(size != 0 ? size : 1); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return std::malloc(size != 0 ? size : 1); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, size_t) noexcept { Release(p); }
void operator delete[](void* p, size_t) noexcept { Release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Release(p); }

namespace {

// With each cipher, non-ASCII passwords: encrypted, read back, decrypted, checked and encrypted anew.
TEST(Secrets, NoFreedBlockHoldsAPassword) {
  const std::string sample = pdftest::ReadFile(VARNEL_TEST_DATA "/writer_golden_input.pdf");
  const varnel::CheckResult plain = varnel::CheckBuffer(sample);
  // Long enough that every copy is a heap block; the marker (the password but its last letter) alike in any encoding.
  const std::pair<varnel::Cipher, std::string> rows[] = {{varnel::Cipher::kAes256, "aes-256-password-of-a-kind"},
                                                         {varnel::Cipher::kAes128, "aes-128-password-of-a-kind"},
                                                         {varnel::Cipher::kRc4_128, "rc4-128-password-of-a-kind"}};
  for (const auto& [cipher, marker] : rows) {
    // The caller's own copies are made before the check and freed after it.
    const std::string password = marker + "\xC3\xBC";
    varnel::EncryptOptions encrypt, reencrypt;
    encrypt.user_password = encrypt.owner_password = password;
    encrypt.cipher = cipher;
    encrypt.verify = true;  // read back from memory
    reencrypt = encrypt;
    reencrypt.input_password = password;
    varnel::DecryptOptions decrypt;
    decrypt.password = password;
    const std::optional<std::string> check = password;
    std::string locked, unlocked;
    varnel::CheckResult opened;
    g_marker = &marker;
    g_found = 0;
    g_watching = true;
    locked = varnel::EncryptBuffer(sample, encrypt);
    unlocked = varnel::DecryptBuffer(locked, decrypt);
    opened = varnel::CheckBuffer(locked, check);
    varnel::EncryptBuffer(locked, reencrypt);
    g_watching = false;
    EXPECT_EQ(g_found.load(), 0) << password;
    EXPECT_TRUE(opened.encrypted);
    EXPECT_EQ(opened.objects, plain.objects + 1);  // and its Encrypt dictionary
    const varnel::CheckResult decrypted = varnel::CheckBuffer(unlocked);
    EXPECT_FALSE(decrypted.encrypted);
    EXPECT_EQ(decrypted.objects, plain.objects);
  }
}

}  // namespace
