#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// "/ASCII85Decode": base-85 text, four bytes per group of five digits
// '!'..'u', 'z' for four zero bytes, '~>' as the end marker.
//
// Filter decodes the whole of `data` and replaces its content; on failure it
// throws _kelvra_runtime_error and leaves `data` unchanged. Output beyond
// `max_out` bytes fails with "...:limit".
//
// - NUL, backspace, tab, LF, FF, CR, space and DEL are skipped anywhere.
// - Decoding stops at the end marker '~>': whatever follows it is ignored.
// - A partial group of 2..4 digits before '~>' gives 1..3 bytes; a lone
//   digit gives nothing. A partial group still open when the data ends
//   without the marker is dropped; the complete groups before it are kept.
// - A group whose value exceeds 2^32 - 1 wraps modulo 2^32.
class PdfASCII85DecodeStreamFilter {
 public:
  static void Filter(std::vector<uint8_t>& data, size_t max_out);
};
