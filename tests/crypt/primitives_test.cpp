// The primitives of our own against published vectors (MD5, RC4); the RC4 key pipeline, PDFDocEncoding, SASLprep.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "crypt/md5.h"
#include "crypt/pdfdocencoding.h"
#include "crypt/pdfstandardsecurityhandler.h"
#include "crypt/rc4.h"
#include "crypt/rc4keypipeline.h"
#include "crypt/saslprep.h"
#include "base/kelvraruntimeerror.h"
#include "tests/pdfbuilder.h"

namespace {

using pdftest::U8;
using pdftest::Unhex;

std::string Rc4Of(const std::string& key, std::string data) {
  Rc4(U8(key), key.size()).Crypt(U8(data), data.size());
  return data;
}

TEST(Md5, LengthsAroundThePaddingBoundary) {
  const std::pair<std::string, const char*> rows[] = {
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      // n times "a": the length just does not fit the last block (56), whole or split blocks.
      {std::string(56, 'a'), "3b0c8ac703f828b04c6c197006d17218"},
      {std::string(64, 'a'), "014842d480b571495a4a0363793f7367"},
      {std::string(120, 'a'), "5f61c0ccad4cac44c75ff505e1f1e537"},
      {std::string(1000, 'a'), "cabe45dcc9ae5b66ba86600cca6b8ba8"},
  };
  for (const auto& row : rows) EXPECT_EQ(Md5::Digest(row.first), Unhex(row.second)) << row.first.size();
}

TEST(Rc4, Rfc6229KeyStreamAndKeySizes) {
  // A 40-bit key (not dividing 256) and a 128-bit key, RFC 6229.
  const struct {
    const char* key;
    size_t offset;
    const char* stream;
  } rows[] = {
      {"0102030405", 0, "b2396305f03dc027ccc3524a0a1118a8"},
      {"0102030405060708090a0b0c0d0e0f10", 4080, "ff38265c1642c1abe8d3c2fe5e572bf8"},
  };
  for (const auto& row : rows)
    EXPECT_EQ(Rc4Of(Unhex(row.key), std::string(row.offset + 16, '\0')).substr(row.offset), Unhex(row.stream));
  uint8_t big[257] = {};
  EXPECT_THROW(Rc4(big, 0), _kelvra_runtime_error);
  EXPECT_THROW(Rc4(big, 257), _kelvra_runtime_error);
  EXPECT_NO_THROW(Rc4(big, 256));
}

// Jobs at even positions: object 10 + position, generation position % 3.
std::vector<Rc4KeyPipeline::Job> EvenJobs(size_t count) {
  std::vector<Rc4KeyPipeline::Job> jobs;
  for (uint32_t pos = 0; pos < 2 * count; pos += 2) jobs.push_back({pos, 10 + pos, pos % 3});
  return jobs;
}
std::string KeyStream(Rc4 cipher) {
  std::string bytes(24, '\0');
  cipher.Crypt(U8(bytes), bytes.size());
  return bytes;
}
bool Owns(const PdfStandardSecurityHandler& h, size_t pos, const std::optional<Rc4>& cipher) {
  uint8_t key[PdfStandardSecurityHandler::kKeyBytes];
  h.ObjectKey(static_cast<int>(10 + pos), static_cast<int>(pos % 3), key);
  return cipher && KeyStream(*cipher) == KeyStream(Rc4(key, sizeof key));
}

// A ring far smaller than the job list makes both threads wait on each other.
TEST(Rc4KeyPipeline, EveryObjectGetsItsOwnCipher) {
  PdfStandardSecurityHandler h;
  h.ComputeKeys("user", "owner", "", "ABCDEFGHIJKLMNOP");
  for (size_t ring : {1u, 3u, 64u}) {
    Rc4KeyPipeline pipeline(h, EvenJobs(500), ring);
    for (size_t pos = 0; pos < 1000; pos += 2) {
      std::optional<Rc4> cipher;
      ASSERT_TRUE(pipeline.Take(pos, 10 + pos, pos % 3, &cipher) && Owns(h, pos, cipher)) << ring << " " << pos;
    }
  }
  // Jobs passed over free their slots; a missing, wrong or passed job is refused; a pipeline let go stops.
  Rc4KeyPipeline pipeline(h, EvenJobs(400), 4);
  std::optional<Rc4> cipher;
  EXPECT_FALSE(pipeline.Take(1, 11, 1, &cipher));
  EXPECT_FALSE(pipeline.Take(2, 12, 0, &cipher)) << "the job there is generation 2";
  EXPECT_FALSE(pipeline.Take(4, 99, 1, &cipher)) << "the job there is object 14";
  for (size_t pos = 6; pos < 800; pos += 14)
    ASSERT_TRUE(pipeline.Take(pos, 10 + pos, pos % 3, &cipher) && Owns(h, pos, cipher)) << pos;
  EXPECT_FALSE(pipeline.Take(6, 16, 0, &cipher)) << "already passed";
  EXPECT_FALSE(pipeline.Take(800, 810, 0, &cipher)) << "beyond the last job";
  { Rc4KeyPipeline full(h, EvenJobs(10000), 2); }
  { Rc4KeyPipeline empty(h, {}, 8); }
}

TEST(PdfDocEncoding, ConvertsOrRefuses) {
  const std::pair<const char*, const char*> rows[] = {
      // UTF-8, PDFDocEncoding or nullptr: refused
      {"", ""},
      {"caf\xC3\xA9", "caf\xE9"},
      {"\xE2\x82\xAC", "\xA0"},  // Euro sits at 0xA0, not Latin-1's NBSP
      {"\xC3\xBF", "\xFF"},
      {"ab\xE4\xB8\xAD", nullptr},  // CJK: no code
      {"\xC2\xAD", nullptr},        // soft hyphen: 0xAD undefined
      {"\xC2\xA0", nullptr},
      {"\x7F", nullptr},  // a byte meaning another character
      {"ok\xC3", nullptr},
      {"\x80", nullptr},  // truncated, stray
      {"\xC0\xAF", nullptr},
      {"\xE0\x80\xAF", nullptr},  // overlong
      {"\xED\xA0\x80", nullptr},
      {"\xF4\x90\x80\x80", nullptr},  // surrogate, above U+10FFFF
  };
  for (const auto& row : rows) {
    SecretString out = "stale";
    EXPECT_EQ(PdfDocEncoding::FromUtf8(row.first, &out), row.second != nullptr) << row.first;
    EXPECT_EQ(out, row.second ? row.second : "") << row.first;
  }
  // 253 code points onto the 256 bytes, each byte at most once; 0x7F, 0x9F, 0xAD unused.
  int hits[257] = {}, total = 0;  // [256]: beyond a byte
  for (char32_t cp = 0; cp <= 0x10FFFF; ++cp)
    if (const int b = PdfDocEncoding::FromCodePoint(cp); b >= 0) ++hits[std::min(b, 256)], ++total;
  EXPECT_EQ(total, 253);
  for (int b = 0; b < 257; ++b) EXPECT_EQ(hits[b], (b == 0x7F || b == 0x9F || b == 0xAD || b == 256) ? 0 : 1) << b;
}

TEST(SaslPrep, MapsNormalisesAndRefuses) {
  const std::pair<const char*, const char*> rows[] = {
      // UTF-8 in, the prepared text or nullptr: refused
      {"p\xC3\xA4ss", "p\xC3\xA4ss"},  // a letter kept
      {"I\xC2\xADX", "IX"},            // soft hyphen mapped to nothing
      {"\xC2\xAA", "a"},               // NFKC
      {"a\xC2\xA0\x62", "a b"},        // no-break space mapped to space
      {"\x07", nullptr},               // control character
      {"\xD8\xA7\x31", nullptr},       // right-to-left then a digit
      {"\xFF", nullptr},               // not UTF-8
  };
  for (const auto& row : rows) {
    SecretString out = "untouched";
    EXPECT_EQ(SaslPrep::Prepare(row.first, true, &out), row.second != nullptr) << row.first;
    EXPECT_EQ(out, row.second ? row.second : "untouched") << row.first;
  }
}

}  // namespace
