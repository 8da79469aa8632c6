#include "pdf/pdfdeflatestreamfilter.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>

#include "base/kelvraruntimeerror.h"

namespace {

// Owns the inflate state so that every exit path releases it.
class Inflater {
 public:
  Inflater() {
    if (inflateInit(&zs_) != Z_OK) throw _kelvra_runtime_error(errtext::kDeflate);
  }
  ~Inflater() { inflateEnd(&zs_); }
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;
  z_stream* get() { return &zs_; }

 private:
  z_stream zs_{};
};

constexpr size_t kFirstOutputBytes = size_t{64} << 10;

}  // namespace

void PdfDeflateStreamFilter::Filter(std::vector<uint8_t>& data, size_t max_out) {
  // Shorter than the zlib header: nothing that could be a stream.
  if (data.size() < 2) throw _kelvra_runtime_error(errtext::kDeflate);

  // One byte of room beyond the limit tells "exactly max_out" from "more".
  const size_t room = max_out == SIZE_MAX ? max_out : max_out + 1;
  const size_t guess = data.size() > SIZE_MAX / 4 ? SIZE_MAX : data.size() * 4;
  // Output goes into a buffer that is not zeroed first (inflate writes every
  // byte kept) and is copied once, at its final size, into data.
  size_t capacity = std::min(room, std::max(kFirstOutputBytes, guess));
  std::unique_ptr<uint8_t[]> out(new uint8_t[capacity]);

  Inflater inflater;
  z_stream* zs = inflater.get();
  size_t in_pos = 0;
  size_t out_pos = 0;
  for (;;) {
    if (out_pos == capacity) {
      if (capacity >= room) throw _kelvra_runtime_error(errtext::kDeflateLimit);
      capacity = capacity > room / 2 ? room : capacity * 2;
      std::unique_ptr<uint8_t[]> bigger(new uint8_t[capacity]);
      std::memcpy(bigger.get(), out.get(), out_pos);
      out = std::move(bigger);
    }
    // avail_in and avail_out are 32-bit: feed large buffers in slices.
    const uInt in_now = static_cast<uInt>(std::min<size_t>(data.size() - in_pos, UINT_MAX));
    const uInt out_now = static_cast<uInt>(std::min<size_t>(capacity - out_pos, UINT_MAX));
    zs->next_in = data.data() + in_pos;
    zs->avail_in = in_now;
    zs->next_out = out.get() + out_pos;
    zs->avail_out = out_now;
    const int rc = inflate(zs, Z_NO_FLUSH);
    in_pos += in_now - zs->avail_in;
    out_pos += out_now - zs->avail_out;
    if (rc == Z_STREAM_END) break;  // anything after the stream is ignored
    if (rc == Z_OK) continue;
    if (rc == Z_BUF_ERROR) {
      if (zs->avail_out == 0) continue;  // needs more room
      if (in_pos == data.size()) break;  // data ends early: keep what we have
    }
    // Z_DATA_ERROR (bad header, bad deflate data, wrong check), Z_NEED_DICT,
    // Z_MEM_ERROR, or no progress with input and room left.
    throw _kelvra_runtime_error(errtext::kDeflate);
  }
  if (out_pos > max_out) throw _kelvra_runtime_error(errtext::kDeflateLimit);
  std::vector<uint8_t> result(out.get(), out.get() + out_pos);
  data.swap(result);
}
