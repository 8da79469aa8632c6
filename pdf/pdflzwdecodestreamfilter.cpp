#include "pdf/pdflzwdecodestreamfilter.h"

#include "base/kelvraruntimeerror.h"

namespace {

constexpr int kClear = 256;
constexpr int kEod = 257;
constexpr int kFirstFreeCode = 258;
constexpr int kTableSlots = 4096;
constexpr uint32_t kCodeMasks[4] = {511, 1023, 2047, 4095};  // widths 9..12

}  // namespace

PdfLZWDecodeStreamFilter::PdfLZWDecodeStreamFilter(bool early_change)
    : code_table_(kTableSlots, Entry{0, 0, 0, 0}), early_(early_change ? 1 : 0) {
  for (int c = 0; c < 256; ++c) {
    const uint8_t byte = static_cast<uint8_t>(c);
    code_table_[c] = Entry{0, 1, byte, byte};
  }
}

PdfLZWDecodeStreamFilter::~PdfLZWDecodeStreamFilter() = default;

void PdfLZWDecodeStreamFilter::ResetTable() {
  // Slots 0..255 never change; slots from next code up are unreachable until
  // they are written again, so resetting is just this.
  next_code_ = kFirstFreeCode;
  code_width_ = 9;
}

int PdfLZWDecodeStreamFilter::ReadCode() {
  while (bit_count_ < code_width_) {
    if (read_position_ >= input_length_) return -1;
    bit_buffer_ = (bit_buffer_ << 8) | input_[read_position_++];
    bit_count_ += 8;
  }
  bit_count_ -= code_width_;
  return static_cast<int>((bit_buffer_ >> bit_count_) & kCodeMasks[code_width_ - 9]);
}

void PdfLZWDecodeStreamFilter::AddEntry(int prefix, uint8_t last) {
  if (next_code_ >= kTableSlots) return;  // table full: keep it unchanged
  const Entry& p = code_table_[prefix];
  code_table_[next_code_] = Entry{static_cast<uint16_t>(prefix), static_cast<uint16_t>(p.length + 1), p.first, last};
  ++next_code_;
  // Early change: the wider code is used from the code after this entry;
  // without it, one code later.
  if (next_code_ == 512 - early_) code_width_ = 10;
  if (next_code_ == 1024 - early_) code_width_ = 11;
  if (next_code_ == 2048 - early_) code_width_ = 12;
}

void PdfLZWDecodeStreamFilter::Output(int code, size_t max_out) {
  const size_t length = code_table_[code].length;
  if (length > max_out - output_.size()) throw _kelvra_runtime_error(errtext::kLzwLimit);
  const size_t base = output_.size();
  output_.resize(base + length);
  // Walk the prefix chain, writing the string from its last byte back.
  for (size_t i = length; i-- > 0;) {
    output_[base + i] = code_table_[code].last;
    code = code_table_[code].prefix;
  }
}

void PdfLZWDecodeStreamFilter::Filter(std::vector<uint8_t>& data, size_t max_out) {
  input_ = data.data();
  input_length_ = data.size();
  read_position_ = 0;
  bit_buffer_ = 0;
  bit_count_ = 0;
  output_.clear();
  ResetTable();

  int previous = -1;  // no previous code: at the start and after Clear
  for (;;) {
    const int code = ReadCode();
    if (code < 0 || code == kEod) break;
    if (code == kClear) {
      ResetTable();
      previous = -1;
      continue;
    }
    if (previous < 0) {
      if (code > 255) throw _kelvra_runtime_error(errtext::kLzwCode);
      Output(code, max_out);
    } else if (code < next_code_) {
      Output(code, max_out);
      AddEntry(previous, code_table_[code].first);
    } else if (code == next_code_) {
      // The code being defined right now: previous string + its own first byte.
      AddEntry(previous, code_table_[previous].first);
      Output(code, max_out);
    } else {
      throw _kelvra_runtime_error(errtext::kLzwCode);
    }
    previous = code;
  }
  input_ = nullptr;
  input_length_ = 0;
  data.swap(output_);
  output_.clear();
  output_.shrink_to_fit();
}
