#include "writer/zipostringstream.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>

namespace {

// uncompress checks the zlib header and the Adler-32 trailer.
std::string Inflate(const std::string& zipped, size_t expected_size) {
  std::string out(expected_size + 1, '\0');
  uLongf out_len = static_cast<uLongf>(out.size());
  EXPECT_EQ(uncompress(reinterpret_cast<Bytef*>(&out[0]), &out_len, reinterpret_cast<const Bytef*>(zipped.data()),
                       static_cast<uLong>(zipped.size())),
            Z_OK);
  out.resize(out_len);
  return out;
}

// Incompressible data grows under deflate; the destination must still fit.
TEST(ZipOStringStream, IncompressibleDataRoundTrips) {
  std::mt19937 rng(7);
  std::string data(1 << 20, '\0');
  for (char& c : data) c = static_cast<char>(rng());
  zip_ostringstream s;
  s.Append(data.data(), data.size());
  const std::string zipped = s.DameBufferZip();
  EXPECT_GT(zipped.size(), data.size());
  EXPECT_EQ(Inflate(zipped, data.size()), data);
}

}  // namespace
