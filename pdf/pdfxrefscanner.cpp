#include "pdf/pdfxrefscanner.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "base/kelvraruntimeerror.h"
#include "base/pdflimits.h"
#include "pdf/pdfparser.h"
#include "base/pdfstream.h"

namespace {

// Bytes kept before the next chunk's first position (the "N G " looked back
// at) and needed after a position (the longest keyword and its delimiter).
constexpr size_t kBehind = 64;
constexpr size_t kAhead = 16;

bool Regular(int c) { return c >= 0 && !PdfParser::IsWhitespace(c) && !PdfParser::IsDelimiter(c); }
bool Digit(uint8_t c) { return c >= '0' && c <= '9'; }

// The first bytes of what is looked for.
const std::array<bool, 256>& Interesting() {
  static const std::array<bool, 256> table = [] {
    std::array<bool, 256> t{};
    for (char c : {'o', 't', '/', '%'}) t[static_cast<uint8_t>(c)] = true;
    return t;
  }();
  return table;
}

class Chunk {
 public:
  Chunk(const uint8_t* p, size_t len, int64_t base) : p_(p), len_(len), base_(base) {}
  // The byte at i, or -1 past the data.
  int At(size_t i) const { return i < len_ ? p_[i] : -1; }
  bool Keyword(size_t i, const char* word) const {
    const size_t n = std::strlen(word);
    return i + n <= len_ && std::memcmp(p_ + i, word, n) == 0 && !Regular(At(i + n));
  }
  // A run of 1 to max_digits digits ending at k (inclusive), preceded by
  // white space or, when first is set, the start of the file or a delimiter,
  // never looking before lo. Gives its value and moves k before the run.
  bool DigitsBack(size_t lo, size_t* k, int max_digits, int64_t* value) const {
    size_t end = *k;  // one past the last digit
    size_t at = end;
    while (at > lo && Digit(p_[at - 1]) && end - at < static_cast<size_t>(max_digits) + 1) --at;
    if (at == end || end - at > static_cast<size_t>(max_digits)) return false;
    int64_t v = 0;
    for (size_t i = at; i < end; ++i) v = v * 10 + (p_[i] - '0');
    *value = v;
    *k = at;
    return true;
  }
  // Whether the bytes before k are word.
  bool EndsWith(size_t k, const char* word) const {
    const size_t n = std::strlen(word);
    return k >= n && std::memcmp(p_ + k - n, word, n) == 0;
  }
  // White space ending just before k, at least one byte.
  bool SpaceBack(size_t lo, size_t* k) const {
    const size_t end = *k;
    while (*k > lo && PdfParser::IsWhitespace(p_[*k - 1])) --*k;
    return *k < end;
  }
  // "N G obj" with "obj" at i: the object's number, generation and offset.
  bool Header(size_t i, PdfXRefScanner::Object* o) const {
    const size_t lo = i > kBehind ? i - kBehind : 0;
    size_t k = i;
    if (!SpaceBack(lo, &k) || !DigitsBack(lo, &k, 5, &o->generation) || !SpaceBack(lo, &k) ||
        !DigitsBack(lo, &k, 10, &o->number))
      return false;
    // Before the number: the start of the file, white space, a delimiter,
    // or the end of the previous object written without a line end.
    if (k == 0 ? base_ != 0 : Regular(p_[k - 1]) && !EndsWith(k, "endobj") && !EndsWith(k, "endstream")) return false;
    if (o->number > pdflimits::kMaxObjectNumber || o->generation > 65535) return false;
    o->offset = base_ + static_cast<int64_t>(k);
    return true;
  }

 private:
  const uint8_t* p_;
  size_t len_;
  int64_t base_;
};

}  // namespace

PdfXRefScanner::Result PdfXRefScanner::Scan(PdfStream& s, int64_t size, size_t max_objects) {
  Result r;
  const std::array<bool, 256>& interesting = Interesting();
  std::vector<uint8_t> buf(kBehind + kAhead + pdflimits::kScanChunkBytes);
  int64_t base = 0;     // file offset of buf[0]
  size_t len = 0;       // bytes held
  size_t from = 0;      // first position not yet examined
  int64_t read_at = 0;  // next byte to read
  auto name_of_last = [&r](std::vector<size_t>& list) {
    if (r.objects.empty()) return;
    const size_t last = r.objects.size() - 1;
    if (list.empty() || list.back() != last) list.push_back(last);
  };
  for (;;) {
    const size_t n =
        static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(pdflimits::kScanChunkBytes), size - read_at));
    s.Seek(read_at, 1);
    if (n > 0) s.Leer(buf.data() + len, n);
    len += n;
    read_at += static_cast<int64_t>(n);
    const bool last = read_at >= size;
    const size_t to = last ? len : len - kAhead;
    const Chunk c(buf.data(), len, base);
    const uint8_t* p = buf.data();
    for (size_t i = from; i < to; ++i) {
      if (!interesting[p[i]]) continue;
      switch (p[i]) {
        case 'o': {
          Object o;
          if (c.Keyword(i, "obj") && c.Header(i, &o)) {
            if (r.objects.size() + r.trailers.size() >= max_objects) throw _kelvra_runtime_error(errtext::kScanLimit);
            r.objects.push_back(o);
          }
          break;
        }
        case 't':
          if ((i == 0 ? base == 0 : !Regular(p[i - 1])) && c.Keyword(i, "trailer")) {
            if (r.objects.size() + r.trailers.size() >= max_objects) throw _kelvra_runtime_error(errtext::kScanLimit);
            r.trailers.push_back(base + static_cast<int64_t>(i) + 7);
          }
          break;
        case '/':
          if (c.Keyword(i, "/XRef")) {
            name_of_last(r.xref_streams);
          } else if (c.Keyword(i, "/ObjStm")) {
            name_of_last(r.object_streams);
          } else if (c.Keyword(i, "/Catalog")) {
            name_of_last(r.catalogs);
          } else if (c.Keyword(i, "/Pages")) {
            name_of_last(r.page_trees);
          } else if (c.Keyword(i, "/Standard")) {
            name_of_last(r.security_handlers);
          }
          break;
        default:  // '%'
          if (r.header < 0 && i + 5 <= len && std::memcmp(p + i, "%PDF-", 5) == 0)
            r.header = base + static_cast<int64_t>(i);
          break;
      }
    }
    if (last) break;
    // Keep what the next positions look back at and the ones not examined.
    const size_t keep_from = to - std::min(to, kBehind);
    std::memmove(buf.data(), buf.data() + keep_from, len - keep_from);
    base += static_cast<int64_t>(keep_from);
    len -= keep_from;
    from = to - keep_from;
  }
  return r;
}
