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

TEST(ZipOStringStream, StreamAndAppendWritesKeepTheirOrder) {
  zip_ostringstream s;
  s << "n=" << 42 << ' ';
  s.Append("\0\xFF", 2);
  s.write("ab", 2);
  const std::string expected = std::string("n=42 \0\xFF" "ab", 9);
  EXPECT_EQ(s.str(), expected);
  EXPECT_EQ(static_cast<size_t>(s.tellp()), expected.size());
  EXPECT_EQ(Inflate(s.DameBufferZip(), expected.size()), expected);

  zip_ostringstream empty;
  EXPECT_EQ(Inflate(empty.DameBufferZip(), 0), "");
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
