#include "api/fileoutputbuffer.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {
constexpr size_t kBufferBytes = size_t{1} << 16;
}  // namespace

FileOutputBuffer::FileOutputBuffer(Native file) : file_(file), buffer_(new char[kBufferBytes]) {
  setp(buffer_.get(), buffer_.get() + kBufferBytes);
}

FileOutputBuffer::~FileOutputBuffer() = default;

bool FileOutputBuffer::WriteAll(const char* data, size_t size) {
  while (size > 0 && !error_) {
#ifdef _WIN32
    DWORD done = 0;
    const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    if (!WriteFile(static_cast<HANDLE>(file_), data, chunk, &done, nullptr) || done == 0) {
      error_ = std::error_code(static_cast<int>(GetLastError()), std::system_category());
      break;
    }
#else
    const ssize_t done = ::write(file_, data, size);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) {
      error_ = std::error_code(done < 0 ? errno : ENOSPC, std::generic_category());
      break;
    }
#endif
    data += done;
    size -= static_cast<size_t>(done);
    written_ += static_cast<int64_t>(done);
  }
  return !error_;
}

bool FileOutputBuffer::Drain() {
  const bool ok = WriteAll(pbase(), static_cast<size_t>(pptr() - pbase()));
  setp(buffer_.get(), buffer_.get() + kBufferBytes);
  return ok;
}

FileOutputBuffer::int_type FileOutputBuffer::overflow(int_type c) {
  if (!Drain()) return traits_type::eof();
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  *pptr() = traits_type::to_char_type(c);
  pbump(1);
  return c;
}

std::streamsize FileOutputBuffer::xsputn(const char* s, std::streamsize n) {
  const size_t room = static_cast<size_t>(epptr() - pptr());
  if (static_cast<size_t>(n) <= room) {
    std::memcpy(pptr(), s, static_cast<size_t>(n));
    pbump(static_cast<int>(n));
    return n;
  }
  // Larger than what is left: the buffered bytes, then these directly.
  if (!Drain() || !WriteAll(s, static_cast<size_t>(n))) return 0;
  return n;
}

int FileOutputBuffer::sync() { return Drain() ? 0 : -1; }

FileOutputBuffer::pos_type FileOutputBuffer::seekoff(off_type off, std::ios_base::seekdir dir,
                                                     std::ios_base::openmode which) {
  // Only the write position is known, and it is always the end.
  if (off != 0 || dir != std::ios_base::cur || (which & std::ios_base::out) == 0) return pos_type(off_type(-1));
  return pos_type(static_cast<off_type>(written_ + (pptr() - pbase())));
}
