#include "crypt/rc4keypipeline.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "crypt/pdfstandardsecurityhandler.h"

namespace {

PdfStandardSecurityHandler Handler() {
  PdfStandardSecurityHandler h;
  h.ComputeKeys("user", "owner", "", "ABCDEFGHIJKLMNOP");
  return h;
}

// Jobs at even positions 0, 2, 4, ...; object number 10 + position,
// generation position % 3.
std::vector<Rc4KeyPipeline::Job> EvenJobs(size_t count) {
  std::vector<Rc4KeyPipeline::Job> jobs;
  for (size_t i = 0; i < count; ++i) {
    const auto pos = static_cast<uint32_t>(2 * i);
    jobs.push_back({pos, 10 + pos, pos % 3});
  }
  return jobs;
}

// The first key-stream bytes tell whether a cipher is the object's own.
std::vector<uint8_t> KeyStream(Rc4 cipher) {
  std::vector<uint8_t> bytes(24, 0);
  cipher.Crypt(bytes.data(), bytes.size());
  return bytes;
}

std::vector<uint8_t> Expected(const PdfStandardSecurityHandler& h, int64_t number, int64_t generation) {
  uint8_t key[PdfStandardSecurityHandler::kKeyBytes];
  h.ObjectKey(static_cast<int>(number), static_cast<int>(generation), key);
  return KeyStream(Rc4(key, sizeof key));
}

// A ring far smaller than the job list makes both threads wait on each
// other many times; every cipher must still be its object's.
TEST(Rc4KeyPipeline, EveryObjectGetsItsOwnCipher) {
  const PdfStandardSecurityHandler h = Handler();
  for (size_t ring : {1u, 3u, 64u}) {
    Rc4KeyPipeline pipeline(h, EvenJobs(500), ring);
    for (size_t i = 0; i < 500; ++i) {
      const size_t pos = 2 * i;
      std::optional<Rc4> cipher;
      ASSERT_TRUE(pipeline.Take(pos, 10 + pos, pos % 3, &cipher)) << ring << " " << pos;
      ASSERT_EQ(KeyStream(*cipher), Expected(h, 10 + pos, pos % 3)) << ring << " " << pos;
    }
  }
}

// The writer asks only for objects with strings or streams: jobs passed
// over free their slots. Positions without a job, a job for another object,
// and positions already passed are refused without disturbing what follows.
TEST(Rc4KeyPipeline, SkipsAndRefusals) {
  const PdfStandardSecurityHandler h = Handler();
  Rc4KeyPipeline pipeline(h, EvenJobs(400), 4);
  std::optional<Rc4> cipher;
  EXPECT_FALSE(pipeline.Take(1, 11, 1, &cipher)) << "no job at an odd position";
  EXPECT_FALSE(pipeline.Take(2, 12, 0, &cipher)) << "the job there is generation 2";
  EXPECT_FALSE(pipeline.Take(4, 99, 1, &cipher)) << "the job there is object 14";
  for (size_t pos = 6; pos < 800; pos += 14) {
    ASSERT_TRUE(pipeline.Take(pos, 10 + pos, pos % 3, &cipher)) << pos;
    EXPECT_EQ(KeyStream(*cipher), Expected(h, 10 + pos, pos % 3)) << pos;
  }
  EXPECT_FALSE(pipeline.Take(6, 16, 0, &cipher)) << "already passed";
  EXPECT_FALSE(pipeline.Take(800, 810, 0, &cipher)) << "beyond the last job";
}

// A pipeline let go with its ring full (the writer failed early) or with
// no jobs at all stops without waiting for anything.
TEST(Rc4KeyPipeline, StopsWhateverItsState) {
  const PdfStandardSecurityHandler h = Handler();
  { Rc4KeyPipeline full(h, EvenJobs(10000), 2); }
  { Rc4KeyPipeline empty(h, {}, 8); }
  {
    Rc4KeyPipeline some(h, EvenJobs(10000), 8);
    std::optional<Rc4> cipher;
    EXPECT_TRUE(some.Take(100, 110, 1, &cipher));
  }
}

}  // namespace
