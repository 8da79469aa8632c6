#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// Undoes the predictor named by a stream's /DecodeParms after its filters
// have run. The arguments are the /Predictor, /Colors, /BitsPerComponent and
// /Columns values (defaults 1, 1, 8, 1); `data` is replaced by the decoded
// bytes, or left unchanged when Decode throws _kelvra_runtime_error.
//
// - Predictor 1: no prediction, the data stays as it is.
// - Predictor 2: TIFF horizontal differencing, each component added to the
//   same component of the pixel before it (modulo 2^bits; 16-bit components
//   are big-endian). Bits per component 1, 2, 4, 8 and 16.
// - Predictor 10 and up: PNG rows, each a tag byte (0 None, 1 Sub, 2 Up,
//   3 Average, 4 Paeth) and the row's bytes; the tags are removed. A tag of
//   255 ends the data quietly (the rows before it are the result); any other
//   tag fails with "PdfCompressedStream::GetNextPredictedLine. unknown
//   predictor".
// - Any other predictor fails with that message too.
// For predictors 2 and up, only complete rows reach the output: a row that
// the data ends inside is dropped. Parameters outside the supported ranges
// fail with "PdfCompressedStream::DecodePredictor:bad parameters" before
// anything is allocated; output beyond `max_out` bytes fails with
// "PdfCompressedStream::DecodePredictor:limit".
class PdfPredictor {
 public:
  static void Decode(std::vector<uint8_t>& data, int predictor, int colors, int bits_per_component, int columns,
                     size_t max_out);
};
