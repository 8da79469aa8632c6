#include "pdf/pdfdecodeahead.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/pdfbuilder.h"

namespace {

using Outcome = PdfDecodeAhead::Outcome;

std::vector<uint8_t> Deflate(const std::string& text) {
  const std::string out = pdftest::Deflate(text);
  return std::vector<uint8_t>(out.begin(), out.end());
}

// Takes job n at offset as submitted with data: the outcome, then ":" and
// the decoded text or the error.
std::string Take(PdfDecodeAhead& ahead, int64_t n, int64_t offset, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> out;
  std::string error;
  const Outcome o = ahead.Take(n, offset, static_cast<int64_t>(data.size()), &out, &error);
  return (o == Outcome::kDecoded ? "decoded:" : o == Outcome::kFailed ? "failed:" + error : "none:") + std::string(out.begin(), out.end());
}

// Results come back for the job asked for, whatever order they are asked
// in; a job asked for drops those queued before it. Bad data gives the
// error inflating it gives anywhere; data decoding to more than a job may
// hold is declined, left to the caller and its limits.
TEST(PdfDecodeAhead, ResultsOrderFailuresAndDeclines) {
  PdfDecodeAhead ahead;
  std::vector<std::vector<uint8_t>> data;
  for (int n = 0; n <= 6; ++n) data.push_back(Deflate("object stream " + std::to_string(n)));
  for (int n = 1; n <= 6; ++n) ahead.Submit(n, 100 * n, data[n]);
  EXPECT_EQ(Take(ahead, 1, 100, data[1]), "decoded:object stream 1");
  EXPECT_EQ(Take(ahead, 3, 999, data[3]), "none:") << "another offset is another stream";
  EXPECT_EQ(Take(ahead, 4, 400, data[4]), "decoded:object stream 4");
  EXPECT_EQ(Take(ahead, 2, 200, data[2]), "none:") << "passed over when 4 was taken";
  EXPECT_EQ(Take(ahead, 6, 600, data[6]), "decoded:object stream 6");
  EXPECT_EQ(Take(ahead, 7, 700, data[0]), "none:") << "never submitted";

  std::vector<uint8_t> bad = Deflate("some data that will be damaged");
  bad[4] ^= 0xFF;
  bad[5] ^= 0xFF;
  const std::vector<uint8_t> big = Deflate(std::string(PdfDecodeAhead::kMaxJobDecodedBytes + 1, 'z'));
  ahead.Submit(11, 10, bad);
  ahead.Submit(12, 20, big);
  ahead.Submit(13, 30, data[0]);
  EXPECT_EQ(Take(ahead, 11, 10, bad), "failed:PdfDeflateStreamFilter::Filter");
  EXPECT_EQ(Take(ahead, 12, 20, big), "none:");
  EXPECT_EQ(Take(ahead, 13, 30, data[0]), "decoded:object stream 0");
}

// Results nobody took fill the budget; asking for a later job must still
// get it, not wait for room that never comes; one let go with jobs queued stops.
TEST(PdfDecodeAhead, UntakenResultsDoNotBlock) {
  PdfDecodeAhead ahead;
  const std::vector<uint8_t> eight_mib = Deflate(std::string(size_t{8} << 20, 'a')), last = Deflate("the last one");
  size_t submitted = 0;
  while (!ahead.Full() && submitted < PdfDecodeAhead::kMaxJobs - 1) ahead.Submit(static_cast<int64_t>(++submitted), 0, eight_mib);
  EXPECT_GE(submitted, 4u);
  ahead.Submit(99, 0, last);
  EXPECT_EQ(Take(ahead, 99, 0, last), "decoded:the last one");
  EXPECT_FALSE(ahead.Full());
  PdfDecodeAhead queued;
  for (int n = 1; n <= 8; ++n) queued.Submit(n, 0, Deflate(std::string(size_t{4} << 20, 'b')));
}

}  // namespace
