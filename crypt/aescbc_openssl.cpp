#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <climits>
#include <cstring>

#include "crypt/aescbc.h"
#include "pdf/kelvraruntimeerror.h"

// One context per direction, each keyed when first used after SetKey: a
// new IV re-initialises only the chaining value, not the key schedule.
struct AesCbc::State {
  EVP_CIPHER_CTX* encrypt = nullptr;
  EVP_CIPHER_CTX* decrypt = nullptr;
  const EVP_CIPHER* cipher = nullptr;
  uint8_t key[32] = {};
  uint8_t iv[kBlockBytes] = {};
  bool encrypt_keyed = false;  // the context holds the current key
  bool decrypt_keyed = false;
  bool encrypt_ready = false;  // the context holds the current IV
  bool decrypt_ready = false;
  ~State() {
    OPENSSL_cleanse(key, sizeof key);
    EVP_CIPHER_CTX_free(encrypt);
    EVP_CIPHER_CTX_free(decrypt);
  }
};

namespace {

const EVP_CIPHER* CipherFor(size_t key_len) {
  if (key_len == 16) return EVP_aes_128_cbc();
  if (key_len == 32) return EVP_aes_256_cbc();
  throw _kelvra_runtime_error("AesCbc:key length");
}

void Init(EVP_CIPHER_CTX* ctx, const EVP_CIPHER* cipher, const uint8_t* key, const uint8_t* iv, int enc) {
  if (EVP_CipherInit_ex(ctx, cipher, nullptr, key, iv, enc) != 1 || EVP_CIPHER_CTX_set_padding(ctx, 0) != 1)
    throw _kelvra_runtime_error("AesCbc:init");
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
  state_->encrypt = EVP_CIPHER_CTX_new();
  state_->decrypt = EVP_CIPHER_CTX_new();
  if (state_->encrypt == nullptr || state_->decrypt == nullptr) throw _kelvra_runtime_error("AesCbc:init");
  SetKey(key, key_len);
}

AesCbc::~AesCbc() = default;

void AesCbc::SetKey(const uint8_t* key, size_t key_len) {
  state_->cipher = CipherFor(key_len);
  std::memcpy(state_->key, key, key_len);
  std::memset(state_->iv, 0, kBlockBytes);
  state_->encrypt_keyed = state_->decrypt_keyed = false;
  state_->encrypt_ready = state_->decrypt_ready = false;
}

void AesCbc::SetIv(const uint8_t iv[kBlockBytes]) {
  std::memcpy(state_->iv, iv, kBlockBytes);
  state_->encrypt_ready = state_->decrypt_ready = false;
}

void AesCbc::Encrypt(const uint8_t* in, uint8_t* out, size_t len) {
  if (!state_->encrypt_ready) {
    Init(state_->encrypt, state_->encrypt_keyed ? nullptr : state_->cipher,
         state_->encrypt_keyed ? nullptr : state_->key, state_->iv, 1);
    state_->encrypt_keyed = state_->encrypt_ready = true;
    state_->decrypt_ready = false;
  }
  Run(state_->encrypt, in, out, len);
}

void AesCbc::Decrypt(const uint8_t* in, uint8_t* out, size_t len) {
  if (!state_->decrypt_ready) {
    Init(state_->decrypt, state_->decrypt_keyed ? nullptr : state_->cipher,
         state_->decrypt_keyed ? nullptr : state_->key, state_->iv, 0);
    state_->decrypt_keyed = state_->decrypt_ready = true;
    state_->encrypt_ready = false;
  }
  Run(state_->decrypt, in, out, len);
}
