#include "crypt/aesobjectcipher.h"

#include <cstring>

#include "base/kelvraruntimeerror.h"
#include "crypt/pdfsecurityhandler.h"

namespace {

constexpr size_t kBlock = AesObjectCipher::kBlock;

// The data with PKCS#7 padding: 1 to 16 bytes, each holding the count.
size_t PaddedSize(size_t n) { return (n / kBlock + 1) * kBlock; }

void Pad(uint8_t* block_end, size_t count) { std::memset(block_end - count, static_cast<int>(count), count); }

}  // namespace

AesObjectCipher::AesObjectCipher(const PdfSecurityHandler& handler) : handler_(handler) {}

AesObjectCipher::~AesObjectCipher() = default;

uint64_t AesObjectCipher::EncryptedSize(uint64_t n) const { return kBlock + PaddedSize(static_cast<size_t>(n)); }

void AesObjectCipher::Key(int64_t number, int64_t generation) {
  const bool same_object = number == key_number_ && generation == key_generation_;
  if (!aes_ || (!same_object && handler_.KeyPerObject())) {
    SecretString key = handler_.ObjectKeyFor(number, generation, PdfSecurityHandler::Cipher::kAes);
    const auto* key_bytes = reinterpret_cast<const uint8_t*>(key.data());
    if (!aes_) {
      aes_ = std::make_unique<AesCbc>(key_bytes, key.size());
    } else if (key != key_) {
      aes_->SetKey(key_bytes, key.size());
    }
    key_ = std::move(key);
  }
  key_number_ = number;
  key_generation_ = generation;
}

std::string AesObjectCipher::EncryptString(int64_t number, int64_t generation, std::string plain) {
  const size_t padded = PaddedSize(plain.size());
  std::string out(kBlock + padded, '\0');
  auto* p = reinterpret_cast<uint8_t*>(&out[0]);
  Start(number, generation, p);
  std::memcpy(p + kBlock, plain.data(), plain.size());
  Pad(p + kBlock + padded, padded - plain.size());
  aes_->Encrypt(p + kBlock, p + kBlock, padded);
  return out;
}

size_t AesObjectCipher::Start(int64_t number, int64_t generation, uint8_t* out) {
  Key(number, generation);
  random_.Draw(out, kBlock);
  aes_->SetIv(out);
  pending_bytes_ = 0;
  return kBlock;
}

size_t AesObjectCipher::Update(const uint8_t* in, size_t n, uint8_t* out) {
  if (pending_bytes_ == 0) {
    const size_t whole = n / kBlock * kBlock;
    aes_->Encrypt(in, out, whole);
    std::memcpy(pending_, in + whole, n - whole);
    pending_bytes_ = n - whole;
    return whole;
  }
  // The block begun before is completed first. The whole blocks after it
  // are written from out + 16 on, ahead of where they are read when out is
  // in: moved there first (writers give whole blocks, so only a caller
  // that does not pays for the move), the bytes after them kept before.
  const size_t take = std::min(kBlock - pending_bytes_, n);
  std::memcpy(pending_ + pending_bytes_, in, take);
  pending_bytes_ += take;
  if (pending_bytes_ < kBlock) return 0;
  in += take;
  n -= take;
  const size_t whole = n / kBlock * kBlock;
  uint8_t block[kBlock], tail[kBlock];
  aes_->Encrypt(pending_, block, kBlock);
  std::memcpy(tail, in + whole, n - whole);
  std::memmove(out + kBlock, in, whole);
  aes_->Encrypt(out + kBlock, out + kBlock, whole);
  std::memcpy(out, block, kBlock);
  std::memcpy(pending_, tail, n - whole);
  pending_bytes_ = n - whole;
  return kBlock + whole;
}

size_t AesObjectCipher::Finish(uint8_t* out) {
  Pad(pending_ + kBlock, kBlock - pending_bytes_);
  aes_->Encrypt(pending_, out, kBlock);
  pending_bytes_ = 0;
  return kBlock;
}

size_t AesObjectCipher::Decrypt(int64_t number, int64_t generation, uint8_t* data, size_t size) {
  if (size == kBlock) return 0;
  if (size < 2 * kBlock || size % kBlock != 0) throw _kelvra_runtime_error(errtext::kAesDataLength);
  const size_t pad = DecryptBlocks(number, generation, data, size);
  if (pad == 0) throw _kelvra_runtime_error(errtext::kAesPadding);
  return size - kBlock - pad;
}

size_t AesObjectCipher::Salvage(int64_t number, int64_t generation, uint8_t* data, size_t size) {
  // Damaged data give what their whole blocks after the IV hold; the
  // padding comes off only where it is sound.
  const size_t whole = size / kBlock * kBlock;
  if (whole < 2 * kBlock) return 0;
  return whole - kBlock - DecryptBlocks(number, generation, data, whole);
}

size_t AesObjectCipher::DecryptBlocks(int64_t number, int64_t generation, uint8_t* data, size_t size) {
  const size_t n = size - kBlock;
  Key(number, generation);
  aes_->SetIv(data);
  aes_->Decrypt(data + kBlock, data + kBlock, n);
  const uint8_t pad = data[size - 1];
  bool padded = pad >= 1 && pad <= kBlock;
  for (size_t i = 1; padded && i <= pad; ++i) padded = data[size - i] == pad;
  std::memmove(data, data + kBlock, n);
  return padded ? pad : 0;
}
