#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <climits>
#include <cstring>

#include "crypt/aescbc.h"
#include "pdf/kelvraruntimeerror.h"

// One context per direction, each keyed when first used after SetKey; a
// new key of the same length keeps the cipher the context already holds
// (naming the cipher makes libcrypto look it up by name and set its
// parameters again, which costs more than encrypting a short string).
//
// A new IV does not touch the context either. CBC feeds each block XORed
// with the chaining value (the previous ciphertext block) to the block
// cipher, so starting over from IV v while the context still chains from c
// is the same as giving it the first block XORed with v ^ c: encrypting, the
// first plaintext block is adjusted before; decrypting, the first output
// block is corrected after. The chaining value is always the last
// ciphertext block the direction has seen.
struct AesCbc::State {
  struct Direction {
    EVP_CIPHER_CTX* ctx = nullptr;
    const EVP_CIPHER* holds = nullptr;  // the cipher the context was set up with
    bool keyed = false;                 // the context holds the current key
    bool restart = true;                // the next block starts from iv, not from chain
    uint8_t chain[kBlockBytes] = {};

    // Keys the context with key and IV. The cipher is set up again only
    // when the context holds another one; padding, the caller's, is turned
    // off once per set-up and stays off across new keys.
    void Key(const EVP_CIPHER* cipher, const uint8_t* key, const uint8_t* iv, int enc) {
      const bool setup = holds != cipher;
      if (EVP_CipherInit_ex(ctx, setup ? cipher : nullptr, nullptr, key, iv, enc) != 1 ||
          (setup && EVP_CIPHER_CTX_set_padding(ctx, 0) != 1))
        throw _kelvra_runtime_error("AesCbc:init");
      holds = cipher;
      keyed = true;
      restart = false;
      std::memcpy(chain, iv, kBlockBytes);
    }
  };
  Direction encrypt, decrypt;
  const EVP_CIPHER* cipher = nullptr;
  uint8_t key[32] = {};
  uint8_t iv[kBlockBytes] = {};
  ~State() {
    OPENSSL_cleanse(key, sizeof key);
    EVP_CIPHER_CTX_free(encrypt.ctx);
    EVP_CIPHER_CTX_free(decrypt.ctx);
  }
};

namespace {

// Fetched once from the default provider and kept for the process.
const EVP_CIPHER* CipherFor(size_t key_len) {
  static EVP_CIPHER* const aes128 = EVP_CIPHER_fetch(nullptr, "AES-128-CBC", nullptr);
  static EVP_CIPHER* const aes256 = EVP_CIPHER_fetch(nullptr, "AES-256-CBC", nullptr);
  const EVP_CIPHER* cipher = key_len == 16 ? aes128 : key_len == 32 ? aes256 : nullptr;
  if (key_len != 16 && key_len != 32) throw _kelvra_runtime_error("AesCbc:key length");
  if (cipher == nullptr) throw _kelvra_runtime_error("AesCbc:init");
  return cipher;
}

void Xor(uint8_t* to, const uint8_t* a, const uint8_t* b) {
  for (size_t i = 0; i < AesCbc::kBlockBytes; ++i) to[i] = a[i] ^ b[i];
}

void Run(EVP_CIPHER_CTX* ctx, const uint8_t* in, uint8_t* out, size_t len) {
  if (len % AesCbc::kBlockBytes != 0) throw _kelvra_runtime_error("AesCbc:partial block");
  while (len > 0) {
    const int piece = len > (INT_MAX & ~15) ? (INT_MAX & ~15) : static_cast<int>(len);
    int written = 0;
    if (EVP_CipherUpdate(ctx, out, &written, in, piece) != 1 || written != piece) throw _kelvra_runtime_error("AesCbc:update");
    in += piece;
    out += piece;
    len -= static_cast<size_t>(piece);
  }
}

}  // namespace

AesCbc::AesCbc(const uint8_t* key, size_t key_len) : state_(new State) {
  state_->encrypt.ctx = EVP_CIPHER_CTX_new();
  state_->decrypt.ctx = EVP_CIPHER_CTX_new();
  if (state_->encrypt.ctx == nullptr || state_->decrypt.ctx == nullptr) throw _kelvra_runtime_error("AesCbc:init");
  SetKey(key, key_len);
}

AesCbc::~AesCbc() = default;

void AesCbc::SetKey(const uint8_t* key, size_t key_len) {
  state_->cipher = CipherFor(key_len);
  std::memcpy(state_->key, key, key_len);
  std::memset(state_->iv, 0, kBlockBytes);
  state_->encrypt.keyed = state_->decrypt.keyed = false;
}

void AesCbc::SetIv(const uint8_t iv[kBlockBytes]) {
  std::memcpy(state_->iv, iv, kBlockBytes);
  state_->encrypt.restart = state_->decrypt.restart = true;
}

void AesCbc::Encrypt(const uint8_t* in, uint8_t* out, size_t len) {
  if (len % kBlockBytes != 0) throw _kelvra_runtime_error("AesCbc:partial block");
  State::Direction& d = state_->encrypt;
  state_->decrypt.restart = true;
  if (len == 0) return;
  if (!d.keyed) d.Key(state_->cipher, state_->key, state_->iv, 1);
  if (d.restart) {
    uint8_t first[kBlockBytes];
    Xor(first, in, state_->iv);
    Xor(first, first, d.chain);
    Run(d.ctx, first, out, kBlockBytes);
    in += kBlockBytes;
    out += kBlockBytes;
    len -= kBlockBytes;
    d.restart = false;
  }
  Run(d.ctx, in, out, len);
  std::memcpy(d.chain, out + len - kBlockBytes, kBlockBytes);
}

void AesCbc::Decrypt(const uint8_t* in, uint8_t* out, size_t len) {
  if (len % kBlockBytes != 0) throw _kelvra_runtime_error("AesCbc:partial block");
  State::Direction& d = state_->decrypt;
  state_->encrypt.restart = true;
  if (len == 0) return;
  if (!d.keyed) d.Key(state_->cipher, state_->key, state_->iv, 0);
  uint8_t correction[kBlockBytes] = {};
  if (d.restart) Xor(correction, d.chain, state_->iv);
  uint8_t last[kBlockBytes];
  std::memcpy(last, in + len - kBlockBytes, kBlockBytes);  // in may be out
  Run(d.ctx, in, out, len);
  if (d.restart) Xor(out, out, correction);
  d.restart = false;
  std::memcpy(d.chain, last, kBlockBytes);
}
