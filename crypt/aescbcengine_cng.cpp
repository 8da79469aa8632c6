#include <windows.h>
#include <bcrypt.h>

#include <cstring>
#include <vector>

#include "crypt/aescbcengine.h"
#include "base/kelvraruntimeerror.h"

// CNG takes the chaining value in the IV buffer of each call and leaves the
// next one there. Implementations may also keep cipher state per key handle
// and reset it only when that buffer changes (Wine's does), so each engine
// has a key handle of its own and its buffer always holds the true chaining
// value.
struct AesCbcEngine::State {
  BCRYPT_ALG_HANDLE alg = nullptr;
  BCRYPT_KEY_HANDLE key = nullptr;
  std::vector<UCHAR> key_object;
  UCHAR chain[16] = {};
  bool encrypt = true;
  void DropKey() {
    if (key != nullptr) BCryptDestroyKey(key);
    key = nullptr;
  }
  ~State() {
    DropKey();
    if (alg != nullptr) BCryptCloseAlgorithmProvider(alg, 0);
  }
};

AesCbcEngine::AesCbcEngine(bool encrypt) : state_(new State) {
  state_->encrypt = encrypt;
  const wchar_t* mode = BCRYPT_CHAIN_MODE_CBC;
  DWORD object_bytes = 0;
  ULONG got = 0;
  if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&state_->alg, BCRYPT_AES_ALGORITHM, nullptr, 0)) ||
      !BCRYPT_SUCCESS(BCryptSetProperty(state_->alg, BCRYPT_CHAINING_MODE,
                                        reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(mode)),
                                        static_cast<ULONG>((wcslen(mode) + 1) * sizeof(wchar_t)), 0)) ||
      !BCRYPT_SUCCESS(BCryptGetProperty(state_->alg, BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&object_bytes),
                                        sizeof object_bytes, &got, 0)))
    throw _kelvra_runtime_error(errtext::kAesInit);
  state_->key_object.resize(object_bytes);
}

AesCbcEngine::~AesCbcEngine() = default;

void AesCbcEngine::Key(const uint8_t* key, size_t key_len, const uint8_t iv[16]) {
  state_->DropKey();
  if (!BCRYPT_SUCCESS(BCryptGenerateSymmetricKey(state_->alg, &state_->key, state_->key_object.data(),
                                                 static_cast<ULONG>(state_->key_object.size()), const_cast<PUCHAR>(key),
                                                 static_cast<ULONG>(key_len), 0)))
    throw _kelvra_runtime_error(errtext::kAesInit);
  std::memcpy(state_->chain, iv, sizeof state_->chain);
}

void AesCbcEngine::Run(const uint8_t* in, uint8_t* out, size_t len) {
  while (len > 0) {
    const ULONG piece = len > 0x10000000 ? 0x10000000 : static_cast<ULONG>(len);
    ULONG written = 0;
    const NTSTATUS status = state_->encrypt
                                ? BCryptEncrypt(state_->key, const_cast<PUCHAR>(in), piece, nullptr, state_->chain,
                                                sizeof state_->chain, out, piece, &written, 0)
                                : BCryptDecrypt(state_->key, const_cast<PUCHAR>(in), piece, nullptr, state_->chain,
                                                sizeof state_->chain, out, piece, &written, 0);
    if (!BCRYPT_SUCCESS(status) || written != piece) throw _kelvra_runtime_error(errtext::kAesUpdate);
    in += piece;
    out += piece;
    len -= piece;
  }
}
