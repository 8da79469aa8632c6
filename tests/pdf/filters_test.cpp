#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "pdf/pdfascii85decodestreamfilter.h"
#include "pdf/pdfdeflatestreamfilter.h"
#include "base/pdflimits.h"
#include "pdf/pdflzwdecodestreamfilter.h"
#include "pdf/pdfpredictor.h"
#include "tests/pdfbuilder.h"

namespace {

using namespace pdftest;

using Bytes = std::vector<uint8_t>;
using Decoder = std::function<void(Bytes&, size_t)>;
constexpr size_t kLimit = pdflimits::kMaxDecodedStreamBytes;

std::string S(const Bytes& b) { return std::string(b.begin(), b.end()); }

// The decoded bytes as text, or "!" and the library error's message; the input must survive a failure.
std::string Decoded(const Decoder& decode, const std::string& in, size_t max_out = kLimit) {
  Bytes data(in.begin(), in.end());
  const std::string error = ErrorOf([&] { decode(data, max_out); });
  EXPECT_TRUE(error.empty() || S(data) == in) << error;
  return error.empty() ? S(data) : "!" + error;
}

// Deterministic bytes over a small alphabet: compressible, never trivially.
std::string Pattern(size_t n, unsigned alphabet) {
  std::string out(n, '\0');
  uint32_t x = 12345;
  for (auto& b : out) b = static_cast<char>(((x = x * 1103515245u + 12345u) >> 16) % alphabet);
  return out;
}

const Decoder kFlate = PdfDeflateStreamFilter::Filter;
const Decoder kA85 = PdfASCII85DecodeStreamFilter::Filter;
const Decoder kLzw = [](Bytes& d, size_t max_out) { PdfLZWDecodeStreamFilter().Filter(d, max_out); };

// Lenient at the end (trailing bytes, no Adler-32, a header alone), strict on corrupt data, bounded by the limit.
TEST(FlateFilter, KnownInputsAndErrors) {
  const std::string text = Pattern(200000, 5), full = Deflate(text), zeros(size_t{16} << 20, '\0');
  const std::string bomb = Deflate(zeros), bad = "!PdfDeflateStreamFilter::Filter", limit = bad + ":limit";
  std::string bad_block = full;
  bad_block[2] = '\xFF';
  const struct {
    std::string in, out;
    size_t max_out = kLimit;
  } rows[] = {
      {full + "\r\n", text},
      {full.substr(0, full.size() - 4), text},
      {"", bad},
      {full.substr(2), bad},  // raw deflate
      {bad_block, bad},
      {std::string("\x78\xBB\0\0\0\1", 6), bad},  // a preset dictionary
      {bomb, zeros, zeros.size()},
      {bomb, limit, zeros.size() - 1},
  };
  for (const auto& row : rows) {
    const std::string got = Decoded(kFlate, row.in, row.max_out);
    EXPECT_TRUE(got == row.out) << row.in.size() << " " << got.substr(0, 80);
  }
  const std::string half = Decoded(kFlate, full.substr(0, full.size() / 2));  // cut in the middle: a prefix of the text
  EXPECT_TRUE(!half.empty() && half.size() < text.size() && text.compare(0, half.size(), half) == 0);
}

TEST(ASCII85Filter, KnownAnswersAndErrors) {
  const std::string bad = "!PdfASCII85DecodeStreamFilter::Filter:bad character in ascii85 region";
  const std::string tilde = "!PdfASCII85DecodeStreamFilter::~ without > in ascii85 section";
  const struct {
    std::string in, out;
    size_t max_out = kLimit;
  } rows[] = {
      {"9jqo^Bla~>", "Man is"},  // full group, then 3 digits give 2 bytes
      {"9`~>", "M"},
      {"9~>", ""},                           // 2 digits give 1 byte, one nothing
      {"s8W-!~>", "\xFF\xFF\xFF\xFF"},       // largest group value
      {"zz!!!!!~>", std::string(12, '\0')},  // z and five '!' are four zeros each
      {"uuuuu~>", "\x08\x78\x0E\xC4"},       // a group above 2^32-1 wraps
      {"9jqo^~>9j{\x80~", "Man "},           // anything after the end marker ignored
      {std::string("9 j\tq\no\r^\f\0z\b\x7f~>", 16), std::string("Man \0\0\0\0", 8)},  // skipped bytes
      {"<~9jqo^~>", tilde},  // '<' is a digit; the '~' after it has no '>'
      {"9jzqo^~>", "!PdfASCII85DecodeStreamFilter::Filter:z inside ascii85 region"},
      {"9jqo\v^~>", bad},    // vertical tab is not skipped
      {"9j\x80qo^~>", bad},  // high bit set
      {"zzzz~>", "!PdfASCII85DecodeStreamFilter::Filter:limit", 15},
  };
  for (const auto& row : rows) EXPECT_EQ(Decoded(kA85, row.in, row.max_out), row.out) << row.in;
}

// Codes packed most significant bit first, each in its width.
std::string Pack(const std::vector<std::pair<int, int>>& codes_and_widths) {
  std::string out;
  uint32_t buffer = 0;
  int bits = 0;
  for (const auto& [code, width] : codes_and_widths) {
    buffer = (buffer << width) | static_cast<uint32_t>(code);
    for (bits += width; bits >= 8; bits -= 8) out.push_back(static_cast<char>(buffer >> (bits - 8)));
  }
  if (bits > 0) out.push_back(static_cast<char>(buffer << (8 - bits)));
  return out;
}

std::string Pack9(const std::vector<int>& codes) {
  std::vector<std::pair<int, int>> cw;
  for (int c : codes) cw.emplace_back(c, 9);
  return Pack(cw);
}

// Plain LZW encoder, one table entry ahead of the decoder; a full table is cleared or kept; early as /EarlyChange.
std::string LzwEncode(const std::string& in, bool clear_when_full, int early = 1) {
  std::vector<std::pair<int, int>> codes{{256, 9}};
  std::map<std::pair<int, uint8_t>, int> table;
  int next = 258, width = 9, current = -1;
  auto emit = [&](int code) {
    codes.emplace_back(code, width);
    if (next < 4096) ++next;
    if (next == 513 - early || next == 1025 - early || next == 2049 - early) ++width;
    if (next == 4096 && clear_when_full) {
      codes.emplace_back(256, width);
      table.clear();
      next = 258;
      width = 9;
    }
  };
  for (const char c : in) {
    const uint8_t b = static_cast<uint8_t>(c);
    auto it = table.find({current, b});
    if (current < 0 || it != table.end()) {
      current = current < 0 ? b : it->second;
      continue;
    }
    if (next < 4096) table[{current, b}] = next;
    emit(current);
    current = b;
  }
  if (current >= 0) emit(current);
  codes.emplace_back(257, width);
  return Pack(codes);
}

TEST(LZWFilter, KnownAndCorruptStreams) {
  const std::string bad = "!PdfLZWDecodeStreamFilter::Filter:bad code";
  const std::pair<std::string, std::string> rows[] = {
      {Pack9({256, 45, 258, 258, 65, 259, 66, 257}),
       "-----A---B"},  // code 258 arrives while it is the next code, then is used again
      {Pack9({256, 65, 66, 256, 67, 68, 258, 257}), "ABCDCD"},       // Clear mid-stream
      {Pack9({256, 45, 258, 258, 65, 259, 66}), "-----A---B"},       // no EOD: output so far
      {Pack9({256, 45, 258, 258, 65, 259}).substr(0, 6), "-----A"},  // ends inside a code
      {Pack9({256, 300, 257}), bad},                                 // first code has no entry
      {Pack9({256, 65, 66, 300, 257}), bad},                         // beyond the next code
      {Pack9({256, 65, 66, 256, 67, 259, 257}), bad},                // entry from before the Clear
  };
  for (const auto& [in, out] : rows) EXPECT_EQ(Decoded(kLzw, in), out) << out;
}

TEST(LZWFilter, LongStreamsAcrossWidthChangesAndFullTable) {
  // Passes 511, 1023, 2047 and fills the table several times.
  const std::string text = Pattern(60000, 6), run(100000, 'x'), encoded = LzwEncode(run, true);
  EXPECT_EQ(Decoded(kLzw, LzwEncode(text, true)), text);
  EXPECT_EQ(Decoded(kLzw, LzwEncode(text, false)), text) << "full table kept, no Clear";
  EXPECT_EQ(Decoded(kLzw, encoded), run);
  EXPECT_EQ(Decoded(kLzw, encoded, run.size() - 1), "!PdfLZWDecodeStreamFilter::Filter:limit");
  // /EarlyChange 0: decoded right only by a decoder told so.
  const std::string late = LzwEncode(text, false, 0);
  EXPECT_EQ(Decoded([](Bytes& d, size_t max_out) { PdfLZWDecodeStreamFilter(false).Filter(d, max_out); }, late), text);
  EXPECT_NE(Decoded(kLzw, late), text);
}

const std::string kUnknown = "!PdfCompressedStream::GetNextPredictedLine. unknown predictor";
const std::string kBad = "!PdfCompressedStream::DecodePredictor:bad parameters";

struct Params {
  int predictor, colors, bits, columns;
};

Decoder Predictor(Params p) {
  return [p](Bytes& d, size_t max) { PdfPredictor::Decode(d, p.predictor, p.colors, p.bits, p.columns, max); };
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

TEST(PngPredictor, RoundTrips) {
  const Params rows[] = {
      {10, 1, 8, 37},  // 1 byte per pixel
      {11, 3, 8, 21},  // 3 bytes per pixel; any predictor >= 10 reads tags
      {15, 4, 16, 5},  // 8 bytes per pixel
      {12, 1, 1, 99},  // 1-bit pixels count as 1 byte; row rounded up
  };
  for (const auto& p : rows) {
    const size_t pixel_bits = static_cast<size_t>(p.colors * p.bits);
    const size_t row_bytes = (pixel_bits * static_cast<size_t>(p.columns) + 7) / 8;
    Bytes raw(row_bytes * 11);
    for (size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<uint8_t>(i * 167 + i / 7);
    EXPECT_EQ(Decoded(Predictor(p), S(PngEncode(raw, (pixel_bits + 7) / 8, row_bytes))), S(raw)) << p.predictor;
  }
}

TEST(Predictor, KnownAnswersAndErrors) {
  const std::string limit = "!PdfCompressedStream::DecodePredictor:limit";
  const Bytes seven(64, 7);
  const Params png{12, 1, 8, 3};
  const struct {
    Bytes in;
    Params p;
    Bytes out;
    std::string error = "";
    size_t max_out = kLimit;
  } rows[] = {
      // PNG, 4 bytes per pixel; the second row is Paeth over bytes of 128 and more.
      {{0, 200, 10, 130, 255, 5, 250, 128, 129, 4, 7, 250, 1, 128, 0x90, 0x10, 0x7f, 0x81},
       {12, 4, 8, 2},
       {200, 10, 130, 255, 5, 250, 128, 129, 207, 4, 131, 127, 149, 10, 255, 0}},
      // Cross-reference rows for /W [1 4 1]: /Columns 6, Up.
      {{2, 1, 0, 0, 0, 15, 0, 2, 0, 0, 0, 1, 0x10, 0, 2, 0, 0, 0, 0, 0xF0, 0},
       {12, 1, 8, 6},
       {1, 0, 0, 0, 15, 0, 1, 0, 0, 1, 0x1F, 0, 1, 0, 0, 1, 0x0F, 0}},
      {{0, 10, 5, 4, 10, 1}, {12, 1, 8, 2}, {10, 5, 20, 21}},  // Paeth: a tie of left and upper left goes to left
      {{0, 1, 2, 3, 1, 1, 1, 1, 255, 7, 7, 7, 0, 1, 2, 3}, png, {1, 2, 3, 1, 2, 3}},  // tag 255 ends the data
      {{0, 1, 2, 3, 1, 1, 1, 1, 5, 1, 1, 1}, png, {}, kUnknown},
      {{0, 1, 2, 3, 1, 1, 1, 1}, png, {}, limit, 5},
      {{1, 2, 3, 10, 20, 30, 250, 250, 250}, {2, 3, 8, 3}, {1, 2, 3, 11, 22, 33, 5, 16, 27}},  // TIFF, per component
      {{0, 0xFF, 0, 1, 0x12, 0x34, 0xFF, 0xFF}, {2, 1, 16, 2}, {0, 0xFF, 1, 0, 0x12, 0x34, 0x12, 0x33}},  // carry
      {{0x80, 0x44}, {2, 1, 1, 8}, {0xFF, 0x78}},                                                         // 1-bit
      {{1, 2, 3, 4, 5}, {2, 1, 8, 2}, {1, 3, 3, 7}},  // partial last row dropped
      {seven, {1, 0, 0, 0}, seven},                   // predictor 1 leaves data alone, parameters unchecked
      {seven, {3, 1, 8, 1}, {}, kUnknown},            // floating-point TIFF predictor
      {seven, {12, 1, 8, 0}, {}, kBad},               // /Columns 0: must end, not loop
      {seven, {12, 0, 8, 4}, {}, kBad},               // /Colors 0
      {seven, {12, 1, 3, 4}, {}, kBad},               // /BitsPerComponent 3
      {seven, {12, 32, 16, 2147483647}, {}, kBad},    // row size overflows 32 bits
      {seven, {12, 1, 8, (1 << 24) + 1}, {}, kBad},   // one byte over the row limit
      {seven, {12, 1, 8, 1 << 24}, {}},               // largest row allowed, longer than the data
  };
  for (const auto& row : rows) {
    EXPECT_EQ(Decoded(Predictor(row.p), S(row.in), row.max_out), row.error.empty() ? S(row.out) : row.error)
        << row.p.predictor << " " << row.p.columns;
  }
}

}  // namespace
