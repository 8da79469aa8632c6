#include "writer/zipostringstream.h"

#include <zlib.h>

#include <limits>

#include "base/kelvraruntimeerror.h"

zip_ostringstream::zip_ostringstream() : std::ostream(nullptr) { rdbuf(&buf_); }

zip_ostringstream::~zip_ostringstream() = default;

std::string zip_ostringstream::DameBufferZip() const {
  const std::string& source = buf_.data;
  // zlib counts in uLong, which is 32 bits on some platforms; half its range
  // keeps compressBound from overflowing.
  if (source.size() > std::numeric_limits<uLong>::max() / 2) {
    throw _kelvra_runtime_error(errtext::kZipCompress);
  }
  const uLong source_len = static_cast<uLong>(source.size());
  uLongf dest_len = compressBound(source_len);
  std::string dest(dest_len, '\0');
  const int rc = compress2(reinterpret_cast<Bytef*>(&dest[0]), &dest_len, reinterpret_cast<const Bytef*>(source.data()),
                           source_len, Z_BEST_SPEED);
  if (rc != Z_OK) throw _kelvra_runtime_error(errtext::kZipCompress);
  dest.resize(dest_len);
  return dest;
}

zip_ostringstream::StringBuf::int_type zip_ostringstream::StringBuf::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  data.push_back(traits_type::to_char_type(c));
  return c;
}

std::streamsize zip_ostringstream::StringBuf::xsputn(const char* s, std::streamsize n) {
  if (n <= 0) return 0;
  data.append(s, static_cast<size_t>(n));
  return n;
}

// Only the write position is known, and it is always the end: tellp() works,
// moving it does not.
zip_ostringstream::StringBuf::pos_type zip_ostringstream::StringBuf::seekoff(off_type off, std::ios_base::seekdir dir,
                                                                             std::ios_base::openmode which) {
  if (off != 0 || dir == std::ios_base::beg || !(which & std::ios_base::out)) return pos_type(off_type(-1));
  return pos_type(static_cast<off_type>(data.size()));
}
