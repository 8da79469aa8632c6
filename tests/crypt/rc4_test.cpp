#include "crypt/rc4.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pdf/kelvraruntimeerror.h"

namespace {

std::vector<uint8_t> FromHex(const std::string& hex) {
  std::vector<uint8_t> out;
  for (size_t k = 0; k + 1 < hex.size(); k += 2)
    out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(k, 2), nullptr, 16)));
  return out;
}

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

TEST(Rc4, ClassicVectors) {
  const struct {
    const char* key;
    const char* plain;
    const char* cipher;
  } kVectors[] = {
      {"Key", "Plaintext", "bbf316e8d940af0ad3"},
      {"Wiki", "pedia", "1021bf0420"},
      {"Secret", "Attack at dawn", "45a01f645fc35b383552544b9bf5"},
  };
  for (const auto& v : kVectors) {
    std::vector<uint8_t> key = Bytes(v.key), data = Bytes(v.plain);
    Rc4(key.data(), key.size()).Crypt(data.data(), data.size());
    EXPECT_EQ(data, FromHex(v.cipher)) << v.key;
  }
}

TEST(Rc4, Rfc6229KeyStream) {
  // Key stream (encryption of zeros) at several offsets, for a 40-bit key
  // (key length not dividing 256) and a 128-bit key (the size PDF uses).
  const struct {
    const char* key;
    size_t offset;
    const char* stream;
  } kVectors[] = {
      {"0102030405", 0, "b2396305f03dc027ccc3524a0a1118a8"},
      {"0102030405", 16, "6982944f18fc82d589c403a47a0d0919"},
      {"0102030405", 240, "28cb1132c96ce286421dcaadb8b69eae"},
      {"0102030405", 4080, "068326a2118416d21f9d04b2cd1ca050"},
      {"0102030405060708090a0b0c0d0e0f10", 0, "9ac7cc9a609d1ef7b2932899cde41b97"},
      {"0102030405060708090a0b0c0d0e0f10", 256, "d39d566bc6bce3010768151549f3873f"},
      {"0102030405060708090a0b0c0d0e0f10", 1520, "b40110c4190b5622a96116b0017ed297"},
      {"0102030405060708090a0b0c0d0e0f10", 4080, "ff38265c1642c1abe8d3c2fe5e572bf8"},
  };
  for (const auto& v : kVectors) {
    std::vector<uint8_t> key = FromHex(v.key), data(v.offset + 16, 0);
    Rc4(key.data(), key.size()).Crypt(data.data(), data.size());
    EXPECT_EQ(std::vector<uint8_t>(data.begin() + static_cast<long>(v.offset), data.end()),
              FromHex(v.stream))
        << v.key << " @" << v.offset;
  }
}

TEST(Rc4, ChunkedEqualsOneShot) {
  // The state carries over between calls, whatever the chunk sizes.
  const uint8_t key[16] = {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 255, 254, 253, 252, 251, 250};
  std::vector<uint8_t> whole(5000);
  for (size_t k = 0; k < whole.size(); ++k) whole[k] = static_cast<uint8_t>(k * 7);
  std::vector<uint8_t> expected = whole;
  Rc4(key, sizeof key).Crypt(expected.data(), expected.size());
  for (size_t chunk : {size_t{1}, size_t{3}, size_t{64}, size_t{255}, size_t{300}, size_t{1001}, size_t{4096}}) {
    std::vector<uint8_t> data = whole;
    Rc4 rc4(key, sizeof key);
    for (size_t pos = 0; pos < data.size(); pos += chunk)
      rc4.Crypt(data.data() + pos, std::min(chunk, data.size() - pos));
    EXPECT_EQ(data, expected) << chunk;
  }
  // Decrypting is encrypting again with a fresh schedule.
  Rc4(key, sizeof key).Crypt(expected.data(), expected.size());
  EXPECT_EQ(expected, whole);
}

TEST(Rc4, RefusesEmptyOrOversizedKey) {
  uint8_t key[257] = {};
  EXPECT_THROW(Rc4(key, 0), _kelvra_runtime_error);
  EXPECT_THROW(Rc4(key, 257), _kelvra_runtime_error);
  EXPECT_NO_THROW(Rc4(key, 256));
}

}  // namespace
