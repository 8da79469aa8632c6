#include <windows.h>
#include <bcrypt.h>

#include <cstring>
#include <vector>

#include "crypt/aescbc.h"
#include "pdf/kelvraruntimeerror.h"

// CNG takes the chaining value in the IV buffer of each call and leaves
// the next one there. Implementations may also keep cipher state per key
// handle and reset it only when that buffer changes (Wine's does), so each
// direction has its own key handle, made when first used after SetKey, and
// its buffer always holds the true chaining value: the last ciphertext
// block that direction has seen. A new IV v is then applied as the OpenSSL
// back end does: the first block is fed XORed with v ^ chain (encrypting),
// or its output corrected by the same (decrypting).
struct AesCbc::State {
  struct Direction {
    BCRYPT_KEY_HANDLE key = nullptr;
    std::vector<UCHAR> key_object;
    uint8_t chain[kBlockBytes] = {};
    bool restart = true;  // the next block starts from iv, not from chain
    ~Direction() { Drop(); }
    void Drop() {
      if (key != nullptr) BCryptDestroyKey(key);
      key = nullptr;
    }
  };
  BCRYPT_ALG_HANDLE alg = nullptr;
  Direction encrypt, decrypt;
  uint8_t key[32] = {};
  size_t key_len = 0;
  uint8_t iv[kBlockBytes] = {};
  ~State() {
    SecureZeroMemory(key, sizeof key);
    encrypt.Drop();
    decrypt.Drop();
    if (alg != nullptr) BCryptCloseAlgorithmProvider(alg, 0);
  }
  // The direction's key handle for the current key; a new one starts its
  // chain at the IV. The other direction restarts from the IV next time.
  void Prepare(Direction* d, Direction* other) {
    other->restart = true;
    if (d->key != nullptr) return;
    if (!BCRYPT_SUCCESS(BCryptGenerateSymmetricKey(alg, &d->key, d->key_object.data(), static_cast<ULONG>(d->key_object.size()),
                                                   key, static_cast<ULONG>(key_len), 0)))
      throw _kelvra_runtime_error("AesCbc:init");
    std::memcpy(d->chain, iv, kBlockBytes);
    d->restart = false;
  }
};

AesCbc::AesCbc(const uint8_t* key, size_t key_len) : state_(new State) {
  const wchar_t* mode = BCRYPT_CHAIN_MODE_CBC;
  if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&state_->alg, BCRYPT_AES_ALGORITHM, nullptr, 0)) ||
      !BCRYPT_SUCCESS(BCryptSetProperty(state_->alg, BCRYPT_CHAINING_MODE,
                                        reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(mode)),
                                        static_cast<ULONG>((wcslen(mode) + 1) * sizeof(wchar_t)), 0)))
    throw _kelvra_runtime_error("AesCbc:init");
  DWORD object_bytes = 0;
  ULONG got = 0;
  if (!BCRYPT_SUCCESS(BCryptGetProperty(state_->alg, BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&object_bytes),
                                        sizeof object_bytes, &got, 0)))
    throw _kelvra_runtime_error("AesCbc:init");
  state_->encrypt.key_object.resize(object_bytes);
  state_->decrypt.key_object.resize(object_bytes);
  SetKey(key, key_len);
}

AesCbc::~AesCbc() = default;

void AesCbc::SetKey(const uint8_t* key, size_t key_len) {
  if (key_len != 16 && key_len != 32) throw _kelvra_runtime_error("AesCbc:key length");
  state_->encrypt.Drop();
  state_->decrypt.Drop();
  std::memcpy(state_->key, key, key_len);
  state_->key_len = key_len;
  uint8_t zeros[kBlockBytes] = {};
  SetIv(zeros);
}

void AesCbc::SetIv(const uint8_t iv[kBlockBytes]) {
  std::memcpy(state_->iv, iv, kBlockBytes);
  state_->encrypt.restart = state_->decrypt.restart = true;
}

namespace {

using CngCipher = NTSTATUS(WINAPI*)(BCRYPT_KEY_HANDLE, PUCHAR, ULONG, VOID*, PUCHAR, ULONG, PUCHAR, ULONG, ULONG*, ULONG);

void Run(CngCipher cipher, BCRYPT_KEY_HANDLE key, uint8_t* chain, const uint8_t* in, uint8_t* out, size_t len) {
  if (len % AesCbc::kBlockBytes != 0) throw _kelvra_runtime_error("AesCbc:partial block");
  while (len > 0) {
    const ULONG piece = len > 0x10000000 ? 0x10000000 : static_cast<ULONG>(len);
    ULONG written = 0;
    if (!BCRYPT_SUCCESS(cipher(key, const_cast<PUCHAR>(in), piece, nullptr, chain, AesCbc::kBlockBytes, out, piece,
                               &written, 0)) ||
        written != piece)
      throw _kelvra_runtime_error("AesCbc:update");
    in += piece;
    out += piece;
    len -= piece;
  }
}

}  // namespace

void AesCbc::Encrypt(const uint8_t* in, uint8_t* out, size_t len) {
  if (len % kBlockBytes != 0) throw _kelvra_runtime_error("AesCbc:partial block");
  State::Direction& d = state_->encrypt;
  state_->Prepare(&d, &state_->decrypt);
  if (len == 0) return;
  if (d.restart) {
    uint8_t first[kBlockBytes];
    for (size_t i = 0; i < kBlockBytes; ++i) first[i] = in[i] ^ state_->iv[i] ^ d.chain[i];
    Run(BCryptEncrypt, d.key, d.chain, first, out, kBlockBytes);
    std::memcpy(d.chain, out, kBlockBytes);
    in += kBlockBytes;
    out += kBlockBytes;
    len -= kBlockBytes;
    d.restart = false;
  }
  Run(BCryptEncrypt, d.key, d.chain, in, out, len);
  if (len != 0) std::memcpy(d.chain, out + len - kBlockBytes, kBlockBytes);
}

void AesCbc::Decrypt(const uint8_t* in, uint8_t* out, size_t len) {
  if (len % kBlockBytes != 0) throw _kelvra_runtime_error("AesCbc:partial block");
  State::Direction& d = state_->decrypt;
  state_->Prepare(&d, &state_->encrypt);
  if (len == 0) return;
  uint8_t correction[kBlockBytes] = {};
  if (d.restart)
    for (size_t i = 0; i < kBlockBytes; ++i) correction[i] = d.chain[i] ^ state_->iv[i];
  uint8_t last[kBlockBytes];
  std::memcpy(last, in + len - kBlockBytes, kBlockBytes);  // in may be out
  Run(BCryptDecrypt, d.key, d.chain, in, out, len);
  if (d.restart)
    for (size_t i = 0; i < kBlockBytes; ++i) out[i] ^= correction[i];
  d.restart = false;
  std::memcpy(d.chain, last, kBlockBytes);
}
