#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// "/LZWDecode": variable-width LZW codes (9 to 12 bits, most significant bit
// first), Clear = 256, EOD = 257, with the early code-width change that PDF
// uses by default (widths grow when the next code reaches 511, 1023, 2047),
// or without it (/EarlyChange 0: at 512, 1024, 2048).
//
// One object decodes one stream: construct, call Filter once, destroy.
// Filter decodes the whole of `data` and replaces its content; on failure it
// throws _kelvra_runtime_error and leaves `data` unchanged. Output beyond
// `max_out` bytes fails with "...:limit".
//
// Damaged data:
// - Data that ends without EOD yields the output decoded so far.
// - Several Clear codes in a row act as one.
// - The first code after the start or a Clear must be a literal (0..255) or
//   EOD, and no code may lie beyond the next free code: otherwise the data is
//   corrupt and Filter fails with "PdfLZWDecodeStreamFilter::Filter:bad code".
// - When all 4096 codes are in use and no Clear comes, the table stays as it
//   is and decoding goes on with 12-bit codes.
class PdfLZWDecodeStreamFilter {
 public:
  explicit PdfLZWDecodeStreamFilter(bool early_change = true);
  ~PdfLZWDecodeStreamFilter();
  PdfLZWDecodeStreamFilter(const PdfLZWDecodeStreamFilter&) = delete;
  PdfLZWDecodeStreamFilter& operator=(const PdfLZWDecodeStreamFilter&) = delete;

  void Filter(std::vector<uint8_t>& data, size_t max_out);

 private:
  // A table entry is its prefix's string plus one byte, so each slot keeps
  // the prefix code, the last byte, the first byte and the string's length
  // instead of a copy of the string.
  struct Entry {
    uint16_t prefix;
    uint16_t length;
    uint8_t first;
    uint8_t last;
  };

  void ResetTable();
  int ReadCode();  // the next code, or -1 when the data has too few bits left
  void AddEntry(int prefix, uint8_t last);
  void Output(int code, size_t max_out);

  std::vector<Entry> code_table_;
  int next_code_ = 258;
  int code_width_ = 9;
  int early_ = 1;  // 1 with the early change, 0 without
  size_t read_position_ = 0;
  uint32_t bit_buffer_ = 0;
  int bit_count_ = 0;
  const uint8_t* input_ = nullptr;
  size_t input_length_ = 0;
  std::vector<uint8_t> output_;
};
