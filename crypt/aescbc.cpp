#include "crypt/aescbc.h"

#include <cstring>

#include "crypt/aescbcengine.h"
#include "base/kelvraruntimeerror.h"

// One engine per direction, each keyed when first used after SetKey.
//
// A new IV does not touch the engine. CBC feeds each block XORed with the
// chaining value (the previous ciphertext block) to the block cipher, so
// starting over from IV v while the engine still chains from c is the same
// as giving it the first block XORed with v ^ c: encrypting, the first
// plaintext block is adjusted before; decrypting, the first output block is
// corrected after. The chaining value is always the last ciphertext block
// the direction has seen. Keying the platform's cipher again costs more
// than encrypting a short string, and an AES writer sets an IV per string.
struct AesCbc::State {
  struct Direction {
    explicit Direction(bool encrypt) : engine(encrypt) {}
    AesCbcEngine engine;
    bool keyed = false;   // the engine holds the current key
    bool restart = true;  // the next block starts from iv, not from chain
    uint8_t chain[kBlockBytes] = {};
  };
  Direction encrypt{true}, decrypt{false};
  uint8_t key[32] = {};
  size_t key_len = 0;
  uint8_t iv[kBlockBytes] = {};
  ~State() {
    volatile uint8_t* p = key;  // not left in freed memory
    for (size_t i = 0; i < sizeof key; ++i) p[i] = 0;
  }
  // Keys the direction on first use after SetKey; the other one restarts
  // from the IV when it is used next.
  Direction& Use(Direction& d, Direction& other) {
    other.restart = true;
    if (!d.keyed) {
      d.engine.Key(key, key_len, iv);
      std::memcpy(d.chain, iv, kBlockBytes);
      d.keyed = true;
      d.restart = false;
    }
    return d;
  }
};

namespace {

void Xor(uint8_t* to, const uint8_t* a, const uint8_t* b) {
  for (size_t i = 0; i < AesCbc::kBlockBytes; ++i) to[i] = a[i] ^ b[i];
}

}  // namespace

AesCbc::AesCbc(const uint8_t* key, size_t key_len) : state_(new State) { SetKey(key, key_len); }

AesCbc::~AesCbc() = default;

void AesCbc::SetKey(const uint8_t* key, size_t key_len) {
  if (key_len != 16 && key_len != 32) throw _kelvra_runtime_error(errtext::kAesKeyLength);
  std::memcpy(state_->key, key, key_len);
  state_->key_len = key_len;
  std::memset(state_->iv, 0, kBlockBytes);
  state_->encrypt.keyed = state_->decrypt.keyed = false;
}

void AesCbc::SetIv(const uint8_t iv[kBlockBytes]) {
  std::memcpy(state_->iv, iv, kBlockBytes);
  state_->encrypt.restart = state_->decrypt.restart = true;
}

void AesCbc::Encrypt(const uint8_t* in, uint8_t* out, size_t len) {
  if (len % kBlockBytes != 0) throw _kelvra_runtime_error(errtext::kAesPartialBlock);
  State::Direction& d = state_->Use(state_->encrypt, state_->decrypt);
  if (len == 0) return;
  if (d.restart) {
    uint8_t first[kBlockBytes];
    Xor(first, in, state_->iv);
    Xor(first, first, d.chain);
    d.engine.Run(first, out, kBlockBytes);
    in += kBlockBytes;
    out += kBlockBytes;
    len -= kBlockBytes;
    d.restart = false;
  }
  d.engine.Run(in, out, len);
  std::memcpy(d.chain, out + len - kBlockBytes, kBlockBytes);
}

void AesCbc::Decrypt(const uint8_t* in, uint8_t* out, size_t len) {
  if (len % kBlockBytes != 0) throw _kelvra_runtime_error(errtext::kAesPartialBlock);
  State::Direction& d = state_->Use(state_->decrypt, state_->encrypt);
  if (len == 0) return;
  uint8_t correction[kBlockBytes] = {};
  if (d.restart) Xor(correction, d.chain, state_->iv);
  uint8_t last[kBlockBytes];
  std::memcpy(last, in + len - kBlockBytes, kBlockBytes);  // in may be out
  d.engine.Run(in, out, len);
  if (d.restart) Xor(out, out, correction);
  d.restart = false;
  std::memcpy(d.chain, last, kBlockBytes);
}
