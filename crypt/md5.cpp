#include "crypt/md5.h"

#include <cstring>

namespace {

inline uint32_t RotateLeft(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

// The four auxiliary functions, in forms that need one operation fewer than
// the ones RFC 1321 writes (F: (x & y) | (~x & z); G: (x & z) | (y & ~z)).
inline uint32_t F(uint32_t x, uint32_t y, uint32_t z) { return z ^ (x & (y ^ z)); }
inline uint32_t G(uint32_t x, uint32_t y, uint32_t z) { return y ^ (z & (x ^ y)); }
inline uint32_t H(uint32_t x, uint32_t y, uint32_t z) { return x ^ y ^ z; }
inline uint32_t I(uint32_t x, uint32_t y, uint32_t z) { return y ^ (x | ~z); }

// One block: the 64 steps of RFC 1321 written out, so that every message
// word index, constant and rotation is known to the compiler.
void TransformBlock(uint32_t state[4], const uint8_t block[64]) {
  uint32_t m[16];
  for (int i = 0; i < 16; ++i)
    m[i] = uint32_t{block[4 * i]} | uint32_t{block[4 * i + 1]} << 8 | uint32_t{block[4 * i + 2]} << 16 |
           uint32_t{block[4 * i + 3]} << 24;
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
#define MD5_STEP(f, w, x, y, z, k, t, r) w = x + RotateLeft(w + f(x, y, z) + m[k] + t, r)
  MD5_STEP(F, a, b, c, d, 0, 0xd76aa478, 7);
  MD5_STEP(F, d, a, b, c, 1, 0xe8c7b756, 12);
  MD5_STEP(F, c, d, a, b, 2, 0x242070db, 17);
  MD5_STEP(F, b, c, d, a, 3, 0xc1bdceee, 22);
  MD5_STEP(F, a, b, c, d, 4, 0xf57c0faf, 7);
  MD5_STEP(F, d, a, b, c, 5, 0x4787c62a, 12);
  MD5_STEP(F, c, d, a, b, 6, 0xa8304613, 17);
  MD5_STEP(F, b, c, d, a, 7, 0xfd469501, 22);
  MD5_STEP(F, a, b, c, d, 8, 0x698098d8, 7);
  MD5_STEP(F, d, a, b, c, 9, 0x8b44f7af, 12);
  MD5_STEP(F, c, d, a, b, 10, 0xffff5bb1, 17);
  MD5_STEP(F, b, c, d, a, 11, 0x895cd7be, 22);
  MD5_STEP(F, a, b, c, d, 12, 0x6b901122, 7);
  MD5_STEP(F, d, a, b, c, 13, 0xfd987193, 12);
  MD5_STEP(F, c, d, a, b, 14, 0xa679438e, 17);
  MD5_STEP(F, b, c, d, a, 15, 0x49b40821, 22);

  MD5_STEP(G, a, b, c, d, 1, 0xf61e2562, 5);
  MD5_STEP(G, d, a, b, c, 6, 0xc040b340, 9);
  MD5_STEP(G, c, d, a, b, 11, 0x265e5a51, 14);
  MD5_STEP(G, b, c, d, a, 0, 0xe9b6c7aa, 20);
  MD5_STEP(G, a, b, c, d, 5, 0xd62f105d, 5);
  MD5_STEP(G, d, a, b, c, 10, 0x02441453, 9);
  MD5_STEP(G, c, d, a, b, 15, 0xd8a1e681, 14);
  MD5_STEP(G, b, c, d, a, 4, 0xe7d3fbc8, 20);
  MD5_STEP(G, a, b, c, d, 9, 0x21e1cde6, 5);
  MD5_STEP(G, d, a, b, c, 14, 0xc33707d6, 9);
  MD5_STEP(G, c, d, a, b, 3, 0xf4d50d87, 14);
  MD5_STEP(G, b, c, d, a, 8, 0x455a14ed, 20);
  MD5_STEP(G, a, b, c, d, 13, 0xa9e3e905, 5);
  MD5_STEP(G, d, a, b, c, 2, 0xfcefa3f8, 9);
  MD5_STEP(G, c, d, a, b, 7, 0x676f02d9, 14);
  MD5_STEP(G, b, c, d, a, 12, 0x8d2a4c8a, 20);

  MD5_STEP(H, a, b, c, d, 5, 0xfffa3942, 4);
  MD5_STEP(H, d, a, b, c, 8, 0x8771f681, 11);
  MD5_STEP(H, c, d, a, b, 11, 0x6d9d6122, 16);
  MD5_STEP(H, b, c, d, a, 14, 0xfde5380c, 23);
  MD5_STEP(H, a, b, c, d, 1, 0xa4beea44, 4);
  MD5_STEP(H, d, a, b, c, 4, 0x4bdecfa9, 11);
  MD5_STEP(H, c, d, a, b, 7, 0xf6bb4b60, 16);
  MD5_STEP(H, b, c, d, a, 10, 0xbebfbc70, 23);
  MD5_STEP(H, a, b, c, d, 13, 0x289b7ec6, 4);
  MD5_STEP(H, d, a, b, c, 0, 0xeaa127fa, 11);
  MD5_STEP(H, c, d, a, b, 3, 0xd4ef3085, 16);
  MD5_STEP(H, b, c, d, a, 6, 0x04881d05, 23);
  MD5_STEP(H, a, b, c, d, 9, 0xd9d4d039, 4);
  MD5_STEP(H, d, a, b, c, 12, 0xe6db99e5, 11);
  MD5_STEP(H, c, d, a, b, 15, 0x1fa27cf8, 16);
  MD5_STEP(H, b, c, d, a, 2, 0xc4ac5665, 23);

  MD5_STEP(I, a, b, c, d, 0, 0xf4292244, 6);
  MD5_STEP(I, d, a, b, c, 7, 0x432aff97, 10);
  MD5_STEP(I, c, d, a, b, 14, 0xab9423a7, 15);
  MD5_STEP(I, b, c, d, a, 5, 0xfc93a039, 21);
  MD5_STEP(I, a, b, c, d, 12, 0x655b59c3, 6);
  MD5_STEP(I, d, a, b, c, 3, 0x8f0ccc92, 10);
  MD5_STEP(I, c, d, a, b, 10, 0xffeff47d, 15);
  MD5_STEP(I, b, c, d, a, 1, 0x85845dd1, 21);
  MD5_STEP(I, a, b, c, d, 8, 0x6fa87e4f, 6);
  MD5_STEP(I, d, a, b, c, 15, 0xfe2ce6e0, 10);
  MD5_STEP(I, c, d, a, b, 6, 0xa3014314, 15);
  MD5_STEP(I, b, c, d, a, 13, 0x4e0811a1, 21);
  MD5_STEP(I, a, b, c, d, 4, 0xf7537e82, 6);
  MD5_STEP(I, d, a, b, c, 11, 0xbd3af235, 10);
  MD5_STEP(I, c, d, a, b, 2, 0x2ad7d2bb, 15);
  MD5_STEP(I, b, c, d, a, 9, 0xeb86d391, 21);
#undef MD5_STEP
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
}

const uint32_t kInitialState[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};

}  // namespace

Md5::Md5() { Init(); }

void Md5::Init() {
  std::memcpy(state_, kInitialState, sizeof state_);
  length_ = 0;
  std::memset(buffer_, 0, sizeof buffer_);
}

void Md5::Update(const void* data, size_t len) {
  const uint8_t* in = static_cast<const uint8_t*>(data);
  size_t used = static_cast<size_t>(length_ % 64);
  length_ += len;
  if (used != 0) {
    size_t take = 64 - used < len ? 64 - used : len;
    std::memcpy(buffer_ + used, in, take);
    in += take;
    len -= take;
    if (used + take < 64) return;
    Transform(buffer_);
  }
  for (; len >= 64; in += 64, len -= 64) Transform(in);
  if (len != 0) std::memcpy(buffer_, in, len);
}

void Md5::Final(uint8_t out[kDigestSize]) {
  // Padding: 0x80, zeros up to 56 mod 64, then the bit length little-endian.
  uint8_t tail[8];
  uint64_t bits = length_ * 8;
  for (int i = 0; i < 8; ++i) tail[i] = static_cast<uint8_t>(bits >> (8 * i));
  static const uint8_t kPad[64] = {0x80};
  size_t used = static_cast<size_t>(length_ % 64);
  Update(kPad, used < 56 ? 56 - used : 120 - used);
  Update(tail, 8);
  for (int i = 0; i < 4; ++i)
    for (int b = 0; b < 4; ++b) out[4 * i + b] = static_cast<uint8_t>(state_[i] >> (8 * b));
  Init();
}

void Md5::Digest(const void* data, size_t len, uint8_t out[kDigestSize]) {
  if (len <= 55) {
    // The message, its padding and its length fit one block: a per-object
    // key costs this one block.
    uint8_t block[64] = {};
    if (len != 0) std::memcpy(block, data, len);
    block[len] = 0x80;
    const uint64_t bits = uint64_t{len} * 8;
    for (int i = 0; i < 8; ++i) block[56 + i] = static_cast<uint8_t>(bits >> (8 * i));
    uint32_t state[4];
    std::memcpy(state, kInitialState, sizeof state);
    TransformBlock(state, block);
    for (int i = 0; i < 4; ++i)
      for (int b = 0; b < 4; ++b) out[4 * i + b] = static_cast<uint8_t>(state[i] >> (8 * b));
    return;
  }
  Md5 md5;
  md5.Update(data, len);
  md5.Final(out);
}

std::string Md5::Digest(const std::string& bytes) {
  uint8_t out[kDigestSize];
  Digest(bytes.data(), bytes.size(), out);
  return std::string(reinterpret_cast<const char*>(out), kDigestSize);
}

void Md5::Transform(const uint8_t block[64]) { TransformBlock(state_, block); }
