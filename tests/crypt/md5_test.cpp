#include "crypt/md5.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Hex(const std::string& bytes) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out.push_back(kHex[c >> 4]);
    out.push_back(kHex[c & 0xF]);
  }
  return out;
}

struct Vector {
  std::string message;
  const char* digest;
};

TEST(Md5, Rfc1321TestSuite) {
  const Vector kVectors[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const Vector& v : kVectors) EXPECT_EQ(Hex(Md5::Digest(v.message)), v.digest) << v.message;
}

TEST(Md5, LengthsAroundThePaddingBoundary) {
  // Messages of n times "a": the length field fits in the last block (55),
  // just does not (56, 57), and whole or split blocks (63 to 120).
  const std::pair<size_t, const char*> kVectors[] = {
      {55, "ef1772b6dff9a122358552954ad0df65"},   {56, "3b0c8ac703f828b04c6c197006d17218"},
      {57, "652b906d60af96844ebd21b674f35e93"},   {63, "b06521f39153d618550606be297466d5"},
      {64, "014842d480b571495a4a0363793f7367"},   {65, "c743a45e0d2e6a95cb859adae0248435"},
      {119, "8a7bd0732ed6a28ce75f6dabc90e1613"},  {120, "5f61c0ccad4cac44c75ff505e1f1e537"},
      {1000, "cabe45dcc9ae5b66ba86600cca6b8ba8"},
  };
  for (const auto& v : kVectors) EXPECT_EQ(Hex(Md5::Digest(std::string(v.first, 'a'))), v.second) << v.first;
}

TEST(Md5, IncrementalUpdatesMatchOneShot) {
  // Every split point of a message longer than two blocks, fed as three
  // updates, exercises the partial-buffer paths of Update.
  std::string msg;
  for (int k = 0; k < 150; ++k) msg.push_back(static_cast<char>(k * 37 + 11));
  const std::string expected = Md5::Digest(msg);
  Md5 md5;
  for (size_t cut = 0; cut <= msg.size(); ++cut) {
    size_t mid = cut / 2;
    md5.Update(msg.data(), mid);
    md5.Update(msg.data() + mid, cut - mid);
    md5.Update(msg.data() + cut, msg.size() - cut);
    uint8_t out[Md5::kDigestSize];
    md5.Final(out);  // also resets the context for the next round
    ASSERT_EQ(std::string(reinterpret_cast<char*>(out), 16), expected) << cut;
  }
}

}  // namespace
