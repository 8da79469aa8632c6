#include "pdf/pdfpredictor.h"

#include <algorithm>
#include <cstdlib>

#include "base/kelvraruntimeerror.h"
#include "base/pdflimits.h"

namespace {

const ErrorCatalogue::Entry& kUnknownPredictor = errtext::kPredictorUnknown;
const ErrorCatalogue::Entry& kBadParameters = errtext::kPredictorParameters;
const ErrorCatalogue::Entry& kLimit = errtext::kPredictorLimit;

uint8_t PaethPredictor(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = std::abs(p - a);
  const int pb = std::abs(p - b);
  const int pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return static_cast<uint8_t>(a);
  if (pb <= pc) return static_cast<uint8_t>(b);
  return static_cast<uint8_t>(c);
}

// PNG rows: a tag byte, then row_bytes bytes predicted from the byte bpp to
// the left (a), the byte above (b) and the byte above-left (c). Both row
// buffers start with bpp zero bytes, so a and c need no special case at the
// left edge, and the row above the first row is all zeros.
void DecodePng(std::vector<uint8_t>& data, size_t bpp, size_t row_bytes, size_t max_out) {
  if (data.size() <= row_bytes) {  // not one complete row: no buffers needed
    data.clear();
    return;
  }
  std::vector<uint8_t> above(bpp + row_bytes, 0);
  std::vector<uint8_t> row(bpp + row_bytes, 0);
  std::vector<uint8_t> out;
  out.reserve(std::min(data.size(), max_out));
  size_t pos = 0;
  while (data.size() - pos > row_bytes) {  // a tag and a complete row remain
    const uint8_t tag = data[pos++];
    if (tag == 255) break;  // an end mark some writers put after the rows
    if (tag > 4) throw _kelvra_runtime_error(kUnknownPredictor);
    const uint8_t* x = data.data() + pos;
    for (size_t i = bpp; i < bpp + row_bytes; ++i) {
      const int a = row[i - bpp];
      const int b = above[i];
      const int c = above[i - bpp];
      int predicted = 0;
      switch (tag) {
        case 1:
          predicted = a;
          break;
        case 2:
          predicted = b;
          break;
        case 3:
          predicted = (a + b) / 2;
          break;
        case 4:
          predicted = PaethPredictor(a, b, c);
          break;
        default:
          break;
      }
      row[i] = static_cast<uint8_t>(x[i - bpp] + predicted);
    }
    pos += row_bytes;
    if (row_bytes > max_out - out.size()) throw _kelvra_runtime_error(kLimit);
    out.insert(out.end(), row.begin() + static_cast<std::ptrdiff_t>(bpp), row.end());
    above.swap(row);
  }
  data.swap(out);
}

unsigned GetSample(const uint8_t* row, size_t index, int bits) {
  const size_t bit = index * static_cast<size_t>(bits);
  const int shift = 8 - bits - static_cast<int>(bit % 8);
  return (row[bit / 8] >> shift) & ((1u << bits) - 1);
}

void SetSample(uint8_t* row, size_t index, int bits, unsigned value) {
  const size_t bit = index * static_cast<size_t>(bits);
  const int shift = 8 - bits - static_cast<int>(bit % 8);
  const unsigned mask = ((1u << bits) - 1) << shift;
  row[bit / 8] = static_cast<uint8_t>((row[bit / 8] & ~mask) | ((value << shift) & mask));
}

// TIFF predictor 2: each component is stored as the difference from the same
// component of the pixel to its left, so add them up along the row.
void DecodeTiff(std::vector<uint8_t>& data, size_t colors, int bits, size_t columns, size_t row_bytes, size_t max_out) {
  const size_t rows = data.size() / row_bytes;
  if (rows * row_bytes > max_out) throw _kelvra_runtime_error(kLimit);
  data.resize(rows * row_bytes);  // a row the data ends inside is dropped
  const size_t samples = colors * columns;
  for (size_t r = 0; r < rows; ++r) {
    uint8_t* row = data.data() + r * row_bytes;
    if (bits == 8) {
      for (size_t i = colors; i < samples; ++i) row[i] = static_cast<uint8_t>(row[i] + row[i - colors]);
    } else if (bits == 16) {
      for (size_t i = colors; i < samples; ++i) {
        const unsigned left = (row[2 * (i - colors)] << 8) | row[2 * (i - colors) + 1];
        const unsigned sum = (((row[2 * i] << 8) | row[2 * i + 1]) + left) & 0xFFFF;
        row[2 * i] = static_cast<uint8_t>(sum >> 8);
        row[2 * i + 1] = static_cast<uint8_t>(sum);
      }
    } else {
      for (size_t i = colors; i < samples; ++i)
        SetSample(row, i, bits, GetSample(row, i, bits) + GetSample(row, i - colors, bits));
    }
  }
}

}  // namespace

void PdfPredictor::Decode(std::vector<uint8_t>& data, int predictor, int colors, int bits_per_component, int columns,
                          size_t max_out) {
  if (predictor == 1) return;
  if (predictor != 2 && predictor < 10) throw _kelvra_runtime_error(kUnknownPredictor);

  // Checked before anything is allocated; the product cannot overflow in 64
  // bits (at most 2^5 x 2^4 x 2^31).
  const bool bits_ok = bits_per_component == 1 || bits_per_component == 2 || bits_per_component == 4 ||
                       bits_per_component == 8 || bits_per_component == 16;
  if (colors < 1 || colors > pdflimits::kMaxPredictorColors || !bits_ok || columns < 1)
    throw _kelvra_runtime_error(kBadParameters);
  const int64_t pixel_bits = int64_t{colors} * bits_per_component;
  const int64_t row_bytes = (pixel_bits * columns + 7) / 8;
  if (row_bytes > pdflimits::kMaxPredictorRowBytes) throw _kelvra_runtime_error(kBadParameters);

  if (predictor == 2) {
    DecodeTiff(data, static_cast<size_t>(colors), bits_per_component, static_cast<size_t>(columns),
               static_cast<size_t>(row_bytes), max_out);
  } else {
    const size_t bpp = static_cast<size_t>(std::max<int64_t>(1, (pixel_bits + 7) / 8));
    DecodePng(data, bpp, static_cast<size_t>(row_bytes), max_out);
  }
}
