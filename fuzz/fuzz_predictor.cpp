// PdfPredictor::Decode with parameters taken from the first bytes (common
// values most of the time, any 32-bit value sometimes) over the rest, under
// the filter contract.
#include "fuzz/filtercontract.h"
#include "pdf/pdfpredictor.h"

namespace {

// One parameter from 5 bytes: a selector and 4 value bytes.
int Param(const uint8_t* p, const int* common, size_t n_common) {
  const uint32_t raw = (uint32_t{p[1]} << 24) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 8) | p[4];
  switch (p[0] % 4) {
    case 0:
    case 1:
      return common[raw % n_common];
    case 2:
      return static_cast<int>(raw % 4096);
    default:
      return static_cast<int>(raw);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 20) return 0;
  static const int kPredictors[] = {1, 2, 10, 11, 12, 13, 14, 15};
  static const int kColors[] = {1, 2, 3, 4};
  static const int kBits[] = {1, 2, 4, 8, 16};
  static const int kColumns[] = {1, 2, 3, 4, 5, 7, 8, 16};
  const int predictor = Param(data, kPredictors, 8);
  const int colors = Param(data + 5, kColors, 4);
  const int bits = Param(data + 10, kBits, 5);
  const int columns = Param(data + 15, kColumns, 8);
  filtercontract::Check(data + 20, size - 20, [&](std::vector<uint8_t>& d, size_t max_out) {
    PdfPredictor::Decode(d, predictor, colors, bits, columns, max_out);
  });
  return 0;
}
