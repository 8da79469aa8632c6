#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "pdf/kelvraruntimeerror.h"
#include "pdf/pdfdeflatestreamfilter.h"
#include "pdf/pdflimits.h"
#include "pdf/pdfpredictor.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr size_t kLimit = pdflimits::kMaxDecodedStreamBytes;
const char kUnknown[] = "PdfCompressedStream::GetNextPredictedLine. unknown predictor";
const char kBad[] = "PdfCompressedStream::DecodePredictor:bad parameters";

struct Params {
  int predictor, colors, bits, columns;
};

Bytes Decode(Bytes data, Params p, size_t max_out = kLimit) {
  PdfPredictor::Decode(data, p.predictor, p.colors, p.bits, p.columns, max_out);
  return data;
}

std::string ErrorOf(const Bytes& data, Params p, size_t max_out = kLimit) {
  try {
    Decode(data, p, max_out);
  } catch (const _kelvra_runtime_error& e) {
    return e.message;
  }
  return "";
}

// PNG encoder: row r uses row type r % 5, so every type follows every other.
Bytes PngEncode(const Bytes& raw, size_t bpp, size_t row_bytes) {
  Bytes out, above(row_bytes, 0);
  for (size_t r = 0; r * row_bytes < raw.size(); ++r) {
    const uint8_t* row = raw.data() + r * row_bytes;
    out.push_back(static_cast<uint8_t>(r % 5));
    for (size_t i = 0; i < row_bytes; ++i) {
      const int a = i >= bpp ? row[i - bpp] : 0, b = above[i], c = i >= bpp ? above[i - bpp] : 0;
      const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
      const int paeth = (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
      const int predicted[] = {0, a, b, (a + b) / 2, paeth};
      out.push_back(static_cast<uint8_t>(row[i] - predicted[r % 5]));
    }
    above.assign(row, row + row_bytes);
  }
  return out;
}

TEST(PngPredictor, KnownRowsAndRoundTrips) {
  // 4 bytes per pixel; the second row is Paeth over bytes of 128 and more.
  EXPECT_EQ(Decode({0, 200, 10, 130, 255, 5, 250, 128, 129, 4, 7, 250, 1, 128, 0x90, 0x10, 0x7f, 0x81}, {12, 4, 8, 2}),
            (Bytes{200, 10, 130, 255, 5, 250, 128, 129, 207, 4, 131, 127, 149, 10, 255, 0}));
  // Cross-reference rows for /W [1 4 1]: /Columns 6, Up.
  EXPECT_EQ(Decode({2, 1, 0, 0, 0, 15, 0, 2, 0, 0, 0, 1, 0x10, 0, 2, 0, 0, 0, 0, 0xF0, 0}, {12, 1, 8, 6}),
            (Bytes{1, 0, 0, 0, 15, 0, 1, 0, 0, 1, 0x1F, 0, 1, 0, 0, 1, 0x0F, 0}));

  const Params rows[] = {
      {10, 1, 8, 37},  // 1 byte per pixel
      {11, 3, 8, 21},  // 3 bytes per pixel; any predictor >= 10 reads tags
      {15, 4, 16, 5},  // 8 bytes per pixel
      {12, 1, 1, 99},  // 1-bit pixels count as 1 byte; row rounded up
      {13, 3, 4, 7},   // 12-bit pixels: 2 bytes per pixel
  };
  for (const auto& p : rows) {
    const size_t pixel_bits = static_cast<size_t>(p.colors * p.bits);
    const size_t row_bytes = (pixel_bits * static_cast<size_t>(p.columns) + 7) / 8;
    Bytes raw(row_bytes * 11);
    for (size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<uint8_t>(i * 167 + i / 7);
    EXPECT_EQ(Decode(PngEncode(raw, (pixel_bits + 7) / 8, row_bytes), p), raw) << p.predictor;
  }
}

TEST(PngPredictor, EndOfDataAndBadTags) {
  const Params p{12, 1, 8, 3};
  const Bytes rows = {0, 1, 2, 3, 1, 1, 1, 1}, decoded = {1, 2, 3, 1, 2, 3};
  auto then = [&rows](Bytes tail) {
    tail.insert(tail.begin(), rows.begin(), rows.end());
    return tail;
  };
  EXPECT_EQ(Decode(then({2, 9, 9}), p), decoded) << "partial last row dropped";
  EXPECT_EQ(Decode(then({255, 7, 7, 7, 0, 1, 2, 3}), p), decoded) << "tag 255 ends the data";
  EXPECT_EQ(ErrorOf(then({5, 1, 1, 1}), p), kUnknown);
  EXPECT_EQ(ErrorOf(then({254, 1, 1, 1}), p), kUnknown);
  EXPECT_EQ(ErrorOf(rows, p, 5), "PdfCompressedStream::DecodePredictor:limit");
}

TEST(TiffPredictor, KnownAnswers) {
  const struct {
    Bytes in;
    Params p;
    Bytes out;
  } rows[] = {
      {{1, 2, 3, 10, 20, 30, 250, 250, 250}, {2, 3, 8, 3}, {1, 2, 3, 11, 22, 33, 5, 16, 27}},  // per component
      {{0, 0xFF, 0, 1, 0x12, 0x34, 0xFF, 0xFF}, {2, 1, 16, 2}, {0, 0xFF, 1, 0, 0x12, 0x34, 0x12, 0x33}},  // carry
      {{0x80, 0x44}, {2, 1, 1, 8}, {0xFF, 0x78}},  // 1-bit
      {{0x44, 0x11}, {2, 1, 2, 4}, {0x5A, 0x16}},  // 2-bit
      {{0x1F, 0xF0}, {2, 1, 4, 4}, {0x10, 0xFF}},  // 4-bit, modulo 16
      {{1, 2, 3, 4, 5}, {2, 1, 8, 2}, {1, 3, 3, 7}},  // partial last row dropped
  };
  for (const auto& row : rows) EXPECT_EQ(Decode(row.in, row.p), row.out) << row.p.bits;
  EXPECT_EQ(ErrorOf({1, 2, 3, 4}, {2, 1, 8, 2}, 3), "PdfCompressedStream::DecodePredictor:limit");
}

TEST(TiffPredictor, CrossReferenceStreamFromCorpus) {
  // Stream data of the cross-reference stream in corpus file
  // xrefstream-objstm-tiffpred-01.pdf: /W [1 2 1], /Predictor 2, /Columns 40.
  Bytes data = {0x78, 0x9c, 0x63, 0x60, 0x60, 0x60, 0x60, 0xfc, 0x2f, 0xf9, 0x9c, 0xe9, 0x1f, 0xe3, 0x7f, 0x20,
                0x66, 0x60, 0xfc, 0xc7, 0xc8, 0xc8, 0xf0, 0x8f, 0x91, 0xe9, 0xff, 0x3f, 0x46, 0xe6, 0xbf, 0x4c,
                0xc5, 0x5d, 0x8c, 0x4c, 0xd7, 0xd4, 0x19, 0x99, 0x5e, 0x8a, 0x00, 0x00, 0x01, 0xb1, 0x0d, 0x01};
  PdfDeflateStreamFilter::Filter(data, kLimit);
  PdfPredictor::Decode(data, 2, 1, 8, 40, kLimit);
  // Objects 1, 7, 8 and 9 at their offsets in the file; 2..6 in object stream 1.
  EXPECT_EQ(data, (Bytes{0, 0, 0, 0, 1, 0, 25, 0, 2, 0, 1, 0, 2, 0, 1, 1, 2, 0, 1, 2,
                         2, 0, 1, 3, 2, 0, 1, 4, 1, 3, 118, 0, 1, 3, 217, 0, 1, 3, 236, 0}));
}

TEST(Predictor, NoneAndBadParameters) {
  const Bytes data(64, 7);
  EXPECT_EQ(Decode(data, {1, 1, 8, 1}), data) << "predictor 1 leaves data alone";
  EXPECT_EQ(Decode(data, {1, 0, 0, 0}), data) << "and does not check parameters it does not use";

  const struct {
    Params p;
    const char* message;
  } rows[] = {
      {{3, 1, 8, 1}, kUnknown},    // floating-point TIFF predictor
      {{9, 1, 8, 1}, kUnknown},    //
      {{0, 1, 8, 1}, kUnknown},    //
      {{12, 1, 8, 0}, kBad},       // /Columns 0: must end, not loop
      {{2, 1, 8, -5}, kBad},       // negative /Columns
      {{12, 0, 8, 4}, kBad},       // /Colors 0
      {{12, 33, 8, 4}, kBad},      // /Colors beyond the limit
      {{12, 1, 3, 4}, kBad},       // /BitsPerComponent 3
      {{2, 1, 32, 4}, kBad},       // /BitsPerComponent 32
      {{12, 32, 16, 2147483647}, kBad},  // row size overflows 32 bits
      {{12, 1, 8, (1 << 24) + 1}, kBad},  // one byte over the row limit
  };
  for (const auto& row : rows) EXPECT_EQ(ErrorOf(data, row.p), row.message) << row.p.predictor;
  EXPECT_EQ(Decode(data, {12, 1, 8, 1 << 24}), Bytes{}) << "largest row allowed, longer than the data";
}

}  // namespace
