#include <openssl/evp.h>

#include <climits>

#include "crypt/aescbcengine.h"
#include "base/kelvraruntimeerror.h"

// A new key of the same length keeps the cipher the context already holds:
// naming the cipher makes libcrypto look it up and set its parameters
// again, which costs more than encrypting a short string.
struct AesCbcEngine::State {
  EVP_CIPHER_CTX* ctx = nullptr;
  const EVP_CIPHER* holds = nullptr;  // the cipher the context was set up with
  int enc = 1;
  ~State() { EVP_CIPHER_CTX_free(ctx); }
};

namespace {

// Fetched once from the default provider and kept for the process.
const EVP_CIPHER* CipherFor(size_t key_len) {
  static EVP_CIPHER* const aes128 = EVP_CIPHER_fetch(nullptr, "AES-128-CBC", nullptr);
  static EVP_CIPHER* const aes256 = EVP_CIPHER_fetch(nullptr, "AES-256-CBC", nullptr);
  const EVP_CIPHER* cipher = key_len == 16 ? aes128 : aes256;
  if (cipher == nullptr) throw _kelvra_runtime_error(errtext::kAesInit);
  return cipher;
}

}  // namespace

AesCbcEngine::AesCbcEngine(bool encrypt) : state_(new State) {
  state_->enc = encrypt ? 1 : 0;
  state_->ctx = EVP_CIPHER_CTX_new();
  if (state_->ctx == nullptr) throw _kelvra_runtime_error(errtext::kAesInit);
}

AesCbcEngine::~AesCbcEngine() = default;

void AesCbcEngine::Key(const uint8_t* key, size_t key_len, const uint8_t iv[16]) {
  // Padding, the caller's, is turned off once per set-up and stays off
  // across new keys.
  const EVP_CIPHER* cipher = CipherFor(key_len);
  const bool setup = state_->holds != cipher;
  if (EVP_CipherInit_ex(state_->ctx, setup ? cipher : nullptr, nullptr, key, iv, state_->enc) != 1 ||
      (setup && EVP_CIPHER_CTX_set_padding(state_->ctx, 0) != 1))
    throw _kelvra_runtime_error(errtext::kAesInit);
  state_->holds = cipher;
}

void AesCbcEngine::Run(const uint8_t* in, uint8_t* out, size_t len) {
  while (len > 0) {
    const int piece = len > (INT_MAX & ~15) ? (INT_MAX & ~15) : static_cast<int>(len);
    int written = 0;
    if (EVP_CipherUpdate(state_->ctx, out, &written, in, piece) != 1 || written != piece)
      throw _kelvra_runtime_error(errtext::kAesUpdate);
    in += piece;
    out += piece;
    len -= static_cast<size_t>(piece);
  }
}
