#include "pdf/pdfdecodeahead.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "tests/pdfbuilder.h"

namespace {

std::vector<uint8_t> Deflate(const std::string& text) {
  const std::string out = pdftest::Deflate(text);
  return std::vector<uint8_t>(out.begin(), out.end());
}

std::string Text(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

using Outcome = PdfDecodeAhead::Outcome;

// Results come back for the job asked for, whatever order they are asked
// in; a job asked for drops those queued before it.
TEST(PdfDecodeAhead, ResultsAndOrder) {
  PdfDecodeAhead ahead;
  for (int n = 1; n <= 6; ++n) ahead.Submit(n, 100 * n, Deflate("object stream " + std::to_string(n)));
  std::vector<uint8_t> out;
  std::string error;
  EXPECT_EQ(ahead.Take(1, 100, static_cast<int64_t>(Deflate("object stream 1").size()), &out, &error), Outcome::kDecoded);
  EXPECT_EQ(Text(out), "object stream 1");
  EXPECT_EQ(ahead.Take(3, 999, static_cast<int64_t>(Deflate("object stream 3").size()), &out, &error), Outcome::kNone)
      << "another offset is another stream";
  EXPECT_EQ(ahead.Take(4, 400, static_cast<int64_t>(Deflate("object stream 4").size()), &out, &error), Outcome::kDecoded);
  EXPECT_EQ(Text(out), "object stream 4");
  EXPECT_EQ(ahead.Take(2, 200, static_cast<int64_t>(Deflate("object stream 2").size()), &out, &error), Outcome::kNone)
      << "passed over when 4 was taken";
  EXPECT_EQ(ahead.Take(6, 600, static_cast<int64_t>(Deflate("object stream 6").size()), &out, &error), Outcome::kDecoded);
  EXPECT_EQ(Text(out), "object stream 6");
  EXPECT_EQ(ahead.Take(7, 700, 10, &out, &error), Outcome::kNone) << "never submitted";
}

// Bad data gives the error inflating it gives anywhere; data decoding to
// more than a job may hold is declined, left to the caller and its limits.
TEST(PdfDecodeAhead, FailuresAndDeclines) {
  PdfDecodeAhead ahead;
  std::vector<uint8_t> bad = Deflate("some data that will be damaged");
  bad[4] ^= 0xFF;
  bad[5] ^= 0xFF;
  const std::vector<uint8_t> big = Deflate(std::string(PdfDecodeAhead::kMaxJobDecodedBytes + 1, 'z'));
  ahead.Submit(1, 10, bad);
  ahead.Submit(2, 20, big);
  ahead.Submit(3, 30, Deflate("after"));
  std::vector<uint8_t> out;
  std::string error;
  EXPECT_EQ(ahead.Take(1, 10, static_cast<int64_t>(bad.size()), &out, &error), Outcome::kFailed);
  EXPECT_EQ(error, "PdfDeflateStreamFilter::Filter");
  EXPECT_EQ(ahead.Take(2, 20, static_cast<int64_t>(big.size()), &out, &error), Outcome::kNone);
  EXPECT_EQ(ahead.Take(3, 30, static_cast<int64_t>(Deflate("after").size()), &out, &error), Outcome::kDecoded);
  EXPECT_EQ(Text(out), "after");
}

// Results nobody took fill the budget; asking for a later job must still
// get it, not wait for room that never comes.
TEST(PdfDecodeAhead, UntakenResultsDoNotBlock) {
  PdfDecodeAhead ahead;
  const std::vector<uint8_t> eight_mib = Deflate(std::string(size_t{8} << 20, 'a'));
  size_t submitted = 0;
  while (!ahead.Full() && submitted < PdfDecodeAhead::kMaxJobs - 1) ahead.Submit(static_cast<int64_t>(++submitted), 0, eight_mib);
  EXPECT_GE(submitted, 4u);
  const std::vector<uint8_t> last = Deflate("the last one");
  ahead.Submit(99, 0, last);
  std::vector<uint8_t> out;
  std::string error;
  ASSERT_EQ(ahead.Take(99, 0, static_cast<int64_t>(last.size()), &out, &error), Outcome::kDecoded);
  EXPECT_EQ(Text(out), "the last one");
  EXPECT_FALSE(ahead.Full());
}

TEST(PdfDecodeAhead, StopsWithJobsQueued) {
  PdfDecodeAhead ahead;
  for (int n = 1; n <= 8; ++n) ahead.Submit(n, 0, Deflate(std::string(size_t{4} << 20, 'b')));
}

}  // namespace
