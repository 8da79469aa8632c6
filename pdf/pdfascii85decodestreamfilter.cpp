#include "pdf/pdfascii85decodestreamfilter.h"

#include "base/kelvraruntimeerror.h"

namespace {

// Weight of a digit by its place in the group, first digit first.
constexpr uint32_t kWeights[5] = {85u * 85 * 85 * 85, 85u * 85 * 85, 85u * 85, 85u, 1u};

bool IsSkipped(uint8_t c) { return c == 0 || c == 8 || c == 9 || c == 10 || c == 12 || c == 13 || c == 32 || c == 127; }

void Append(std::vector<uint8_t>& out, uint32_t value, int count, size_t max_out) {
  if (out.size() + static_cast<size_t>(count) > max_out) throw _kelvra_runtime_error(errtext::kAscii85Limit);
  for (int i = 0; i < count; ++i) out.push_back(static_cast<uint8_t>(value >> (24 - 8 * i)));
}

}  // namespace

void PdfASCII85DecodeStreamFilter::Filter(std::vector<uint8_t>& data, size_t max_out) {
  std::vector<uint8_t> out;
  out.reserve(data.size() / 5 * 4 + 4 <= max_out ? data.size() / 5 * 4 + 4 : max_out);
  uint32_t accumulator = 0;  // arithmetic modulo 2^32 on purpose
  int digits = 0;
  for (size_t position = 0; position < data.size(); ++position) {
    const uint8_t c = data[position];
    if (IsSkipped(c)) continue;
    if (c >= '!' && c <= 'u') {
      accumulator += static_cast<uint32_t>(c - '!') * kWeights[digits];
      if (++digits == 5) {
        Append(out, accumulator, 4, max_out);
        accumulator = 0;
        digits = 0;
      }
    } else if (c == 'z') {
      if (digits != 0) throw _kelvra_runtime_error(errtext::kAscii85Z);
      Append(out, 0, 4, max_out);
    } else if (c == '~') {
      if (position + 1 >= data.size() || data[position + 1] != '>') throw _kelvra_runtime_error(errtext::kAscii85End);
      // Rounding the partial group up by one unit of its last digit yields
      // the same leading bytes as padding it with 'u' digits.
      if (digits > 1) Append(out, accumulator + kWeights[digits - 1], digits - 1, max_out);
      digits = 0;
      break;
    } else {
      throw _kelvra_runtime_error(errtext::kAscii85Character);
    }
  }
  data.swap(out);
}
