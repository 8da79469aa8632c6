#include <windows.h>
#include <bcrypt.h>

#include <cstring>
#include <vector>

#include "crypt/aescbc.h"
#include "pdf/kelvraruntimeerror.h"

// CNG keeps the chaining value in the IV buffer it is given: each direction
// has its own copy, restarted from the IV last set.
struct AesCbc::State {
  BCRYPT_ALG_HANDLE alg = nullptr;
  BCRYPT_KEY_HANDLE key = nullptr;
  std::vector<UCHAR> key_object;
  uint8_t iv[kBlockBytes] = {};
  uint8_t encrypt_chain[kBlockBytes] = {};
  uint8_t decrypt_chain[kBlockBytes] = {};
  bool encrypting = false;
  bool decrypting = false;
  ~State() {
    if (key != nullptr) BCryptDestroyKey(key);
    if (alg != nullptr) BCryptCloseAlgorithmProvider(alg, 0);
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
  state_->key_object.resize(object_bytes);
  SetKey(key, key_len);
}

AesCbc::~AesCbc() = default;

void AesCbc::SetKey(const uint8_t* key, size_t key_len) {
  if (key_len != 16 && key_len != 32) throw _kelvra_runtime_error("AesCbc:key length");
  if (state_->key != nullptr) {
    BCryptDestroyKey(state_->key);
    state_->key = nullptr;
  }
  if (!BCRYPT_SUCCESS(BCryptGenerateSymmetricKey(state_->alg, &state_->key, state_->key_object.data(),
                                                 static_cast<ULONG>(state_->key_object.size()), const_cast<PUCHAR>(key),
                                                 static_cast<ULONG>(key_len), 0)))
    throw _kelvra_runtime_error("AesCbc:init");
  uint8_t zeros[kBlockBytes] = {};
  SetIv(zeros);
}

void AesCbc::SetIv(const uint8_t iv[kBlockBytes]) {
  std::memcpy(state_->iv, iv, kBlockBytes);
  state_->encrypting = state_->decrypting = false;
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
  if (!state_->encrypting) {
    std::memcpy(state_->encrypt_chain, state_->iv, kBlockBytes);
    state_->encrypting = true;
    state_->decrypting = false;
  }
  Run(BCryptEncrypt, state_->key, state_->encrypt_chain, in, out, len);
}

void AesCbc::Decrypt(const uint8_t* in, uint8_t* out, size_t len) {
  if (!state_->decrypting) {
    std::memcpy(state_->decrypt_chain, state_->iv, kBlockBytes);
    state_->decrypting = true;
    state_->encrypting = false;
  }
  Run(BCryptDecrypt, state_->key, state_->decrypt_chain, in, out, len);
}
