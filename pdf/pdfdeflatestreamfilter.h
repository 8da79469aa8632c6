#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// "/FlateDecode": inflates zlib-format data (two-byte header, deflate data,
// Adler-32 check).
//
// Contract shared by the decode filters: Filter decodes the whole of `data`
// and replaces its content with the decoded bytes. On failure it throws
// _kelvra_runtime_error and leaves `data` unchanged. The output never grows
// beyond `max_out` bytes; a stream that would is refused as a decompression
// bomb ("...:limit").
//
// Lenient on purpose, like other readers:
// - Data that ends before the deflate end block (or inside the Adler-32
//   check) yields what was decoded up to that point.
// - Bytes after the end of the zlib stream (often an end-of-line before
//   "endstream" counted into /Length) are ignored.
// Strict where the data is plainly corrupt: empty or one-byte input, a bad
// header, invalid deflate data, a preset dictionary or a wrong Adler-32 check
// fail with "PdfDeflateStreamFilter::Filter".
class PdfDeflateStreamFilter {
 public:
  static void Filter(std::vector<uint8_t>& data, size_t max_out);
};
