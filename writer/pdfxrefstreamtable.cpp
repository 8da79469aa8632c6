#include "writer/pdfxrefstreamtable.h"

#include <algorithm>
#include <limits>

#include "base/kelvraruntimeerror.h"
#include "writer/zipostringstream.h"

namespace {

// The bitmap of present numbers always may cover this many 64-bit words
// (64 KiB, numbers below 524288), and beyond that one word per entry, so it
// never costs more than 8 bytes an entry. Numbers above go to the hash set.
constexpr size_t kMinBitmapWords = size_t{1} << 13;

int BytesNeeded(uint64_t value) {
  int bytes = 1;
  while (value > 0xFF) {
    value >>= 8;
    ++bytes;
  }
  return bytes;
}

int PopCount(uint64_t x) {
#if defined(__GNUC__) || defined(__clang__)
  return __builtin_popcountll(x);
#else
  int n = 0;
  for (; x != 0; x &= x - 1) ++n;
  return n;
#endif
}

char* PutBigEndian(char* out, uint64_t value, int width) {
  for (int i = width - 1; i >= 0; --i) *out++ = static_cast<char>((value >> (8 * i)) & 0xFF);
  return out;
}

}  // namespace

PdfXRefStreamTable::PdfXRefStreamTable() = default;

PdfXRefStreamTable::~PdfXRefStreamTable() = default;

void PdfXRefStreamTable::AddEntry(int64_t num, uint8_t type, uint64_t field2, uint32_t field3) {
  if (num < 0 || num > std::numeric_limits<int32_t>::max()) {
    throw _kelvra_runtime_error(errtext::kXRefStreamTableNumber);
  }
  const auto n = static_cast<uint32_t>(num);
  if (Seen(n)) return;
  MarkSeen(n);
  if (records_.empty()) {
    min_num_ = max_num_ = num;
  } else {
    if (n < records_.back().num) sorted_ = false;
    min_num_ = std::min(min_num_, num);
    max_num_ = std::max(max_num_, num);
  }
  records_.push_back(Record{field2, n, field3, type});
  max_field2_ = std::max(max_field2_, field2);
  max_field3_ = std::max(max_field3_, field3);
}

bool PdfXRefStreamTable::HasEntry(int64_t num) const {
  if (num < 0 || num > std::numeric_limits<int32_t>::max()) return false;
  return Seen(static_cast<uint32_t>(num));
}

bool PdfXRefStreamTable::FindEntry(int64_t num, PdfXRefStreamEntry& entry) const {
  if (!HasEntry(num)) return false;
  SortRecords();
  const auto n = static_cast<uint32_t>(num);
  auto it =
      std::lower_bound(records_.begin(), records_.end(), n, [](const Record& r, uint32_t key) { return r.num < key; });
  entry = PdfXRefStreamEntry{it->type, it->field2, it->field3};
  return true;
}

int64_t PdfXRefStreamTable::GetMinObjectNumber() const { return records_.empty() ? 1 : std::min<int64_t>(min_num_, 1); }

int64_t PdfXRefStreamTable::GetMaxObjectNumber() const { return records_.empty() ? 0 : std::max<int64_t>(max_num_, 0); }

std::array<int, 3> PdfXRefStreamTable::Widths() const {
  return {1, std::max(4, BytesNeeded(max_field2_)), BytesNeeded(max_field3_)};
}

std::string PdfXRefStreamTable::WidthsText() const {
  const std::array<int, 3> w = Widths();
  return "[" + std::to_string(w[0]) + " " + std::to_string(w[1]) + " " + std::to_string(w[2]) + "]";
}

std::string PdfXRefStreamTable::IndexArrayText() const {
  SortRecords();
  std::string out = "[";
  size_t i = 0;
  while (i < records_.size()) {
    size_t j = i + 1;
    while (j < records_.size() && records_[j].num == records_[j - 1].num + 1) ++j;
    if (i != 0) out += ' ';
    out += std::to_string(records_[i].num);
    out += ' ';
    out += std::to_string(j - i);
    i = j;
  }
  out += ']';
  return out;
}

std::string PdfXRefStreamTable::BuildStreamData(bool compress) const {
  SortRecords();
  const std::array<int, 3> w = Widths();
  const size_t entry_size = static_cast<size_t>(w[0] + w[1] + w[2]);
  zip_ostringstream data;
  data.Reserve(records_.size() * entry_size);
  char entry[1 + 8 + 4];
  for (const Record& r : records_) {
    char* p = entry;
    *p++ = static_cast<char>(r.type);
    p = PutBigEndian(p, r.field2, w[1]);
    PutBigEndian(p, r.field3, w[2]);
    data.Append(entry, entry_size);
  }
  return compress ? data.DameBufferZip() : data.str();
}

bool PdfXRefStreamTable::Seen(uint32_t num) const {
  const size_t word = num >> 6;
  if (word < seen_bits_.size() && ((seen_bits_[word] >> (num & 63)) & 1) != 0) return true;
  return !seen_sparse_.empty() && seen_sparse_.count(num) != 0;
}

void PdfXRefStreamTable::MarkSeen(uint32_t num) {
  const size_t word = num >> 6;
  if (word >= seen_bits_.size()) {
    if (word >= std::max(kMinBitmapWords, records_.size() + 1)) {
      seen_sparse_.insert(num);
      return;
    }
    if (word >= seen_bits_.capacity()) seen_bits_.reserve(std::max(word + 1, 2 * seen_bits_.capacity()));
    seen_bits_.resize(word + 1, 0);
  }
  seen_bits_[word] |= uint64_t{1} << (num & 63);
}

void PdfXRefStreamTable::SortRecords() const {
  if (sorted_) return;
  if (seen_sparse_.empty()) {
    // Every number is in the bitmap, once: an entry's place in number order
    // is the count of numbers below its own, which the bitmap gives, so one
    // pass puts every entry in its place. Entries come mostly in runs of
    // near numbers, so the places written to are near each other too.
    std::vector<uint32_t> below(seen_bits_.size());  // numbers below each word
    uint32_t count = 0;
    for (size_t w = 0; w < seen_bits_.size(); ++w) {
      below[w] = count;
      count += static_cast<uint32_t>(PopCount(seen_bits_[w]));
    }
    std::vector<Record> ordered(records_.size());
    for (const Record& r : records_) {
      const size_t w = r.num >> 6;
      ordered[below[w] + static_cast<size_t>(PopCount(seen_bits_[w] & ((uint64_t{1} << (r.num & 63)) - 1)))] = r;
    }
    records_.swap(ordered);
  } else {
    // Numbers are unique (AddEntry drops repeats), so no stability is needed.
    std::sort(records_.begin(), records_.end(), [](const Record& a, const Record& b) { return a.num < b.num; });
  }
  sorted_ = true;
}
