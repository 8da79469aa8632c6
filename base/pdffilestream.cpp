#include "base/pdffilestream.h"

#include <cstring>
#include <string>

#include "base/kelvraruntimeerror.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

int SeekFile(FILE* f, int64_t offset) {
#ifdef _WIN32
  return _fseeki64(f, offset, SEEK_SET);
#else
  return fseeko(f, static_cast<off_t>(offset), SEEK_SET);
#endif
}

int64_t FileSize(FILE* f) {
#ifdef _WIN32
  if (_fseeki64(f, 0, SEEK_END) != 0) return -1;
  int64_t size = _ftelli64(f);
#else
  if (fseeko(f, 0, SEEK_END) != 0) return -1;
  int64_t size = ftello(f);
#endif
  if (SeekFile(f, 0) != 0) return -1;
  return size;
}

FILE* OpenFile(const char* path, const char* mode) {
#ifdef _WIN32
  auto widen = [](const char* s) {
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s, -1, nullptr, 0);
    std::wstring w;
    if (n <= 0) return w;
    w.resize(static_cast<size_t>(n));
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s, -1, &w[0], n);
    w.resize(static_cast<size_t>(n - 1));
    return w;
  };
  std::wstring wpath = widen(path), wmode = widen(mode);
  if (wpath.empty()) return nullptr;
  return _wfopen(wpath.c_str(), wmode.c_str());
#else
  return std::fopen(path, mode);
#endif
}

}  // namespace

PdfFileStream::PdfFileStream() = default;

PdfFileStream::~PdfFileStream() { Cerrar(); }

void PdfFileStream::Abrir(const char* path, const char* mode) {
  if (path == nullptr || *path == '\0' || mode == nullptr) throw _kelvra_runtime_error(errtext::kOpenFopen);
  Cerrar();
  file = OpenFile(path, mode);
  if (file == nullptr) throw _kelvra_runtime_error(errtext::kOpenFopen);
  if (!buffer) buffer.reset(new (std::nothrow) uint8_t[kBufferBytes]);
  if (!buffer) throw _kelvra_runtime_error(errtext::kOpenMalloc);
  // Our own buffer does the buffering; stdio's would only add a copy.
  if (setvbuf(file, nullptr, _IONBF, 0) != 0) throw _kelvra_runtime_error(errtext::kOpenSetvbuf);
  // A directory opens on some systems, and may even report a size, but
  // cannot be read: one byte is read to find out.
  if (std::fgetc(file) == EOF && std::ferror(file)) throw _kelvra_runtime_error(errtext::kOpenFopen);
  file_size_ = FileSize(file);
  if (file_size_ < 0) throw _kelvra_runtime_error(errtext::kOpenFopen);
  begin_ = cur_ = end_ = buffer.get();
  window_offset_ = 0;
  file_offset_ = 0;
  eof_ = false;
}

void PdfFileStream::Cerrar() {
  if (file != nullptr) {
    std::fclose(file);
    file = nullptr;
  }
  begin_ = cur_ = end_ = buffer.get();
}

size_t PdfFileStream::ReadFile(void* dest, size_t n) {
  if (file == nullptr) return 0;
  if (file_offset_ != window_offset_ + (end_ - begin_) || file_offset_ < 0) {
    // Only reached after a seek outside the window; the window is empty then.
    if (SeekFile(file, window_offset_ + (end_ - begin_)) != 0) {
      file_offset_ = -1;
      return 0;
    }
    file_offset_ = window_offset_ + (end_ - begin_);
  }
  size_t got = std::fread(dest, 1, n, file);
  file_offset_ += static_cast<int64_t>(got);
  return got;
}

void PdfFileStream::DropWindow() {
  window_offset_ += cur_ - begin_;
  begin_ = cur_ = end_ = buffer.get();
}

int PdfFileStream::Underflow() {
  DropWindow();
  size_t got = ReadFile(buffer.get(), kBufferBytes);
  if (got == 0) {
    eof_ = true;
    throw _kelvra_runtime_error(errtext::kFileRead);
  }
  end_ = begin_ + got;
  return *cur_++;
}

void PdfFileStream::Leer(void* dest, size_t n) {
  uint8_t* out = static_cast<uint8_t*>(dest);
  size_t have = static_cast<size_t>(end_ - cur_);
  if (n <= have) {
    if (n != 0) std::memcpy(out, cur_, n);
    cur_ += n;
    return;
  }
  if (have != 0) std::memcpy(out, cur_, have);
  cur_ += have;
  out += have;
  n -= have;
  DropWindow();
  if (n >= kBufferBytes) {
    // Large reads go straight into the caller's buffer.
    size_t got = ReadFile(out, n);
    window_offset_ += static_cast<int64_t>(got);
    if (got != n) {
      eof_ = true;
      throw _kelvra_runtime_error(errtext::kFileRead);
    }
    return;
  }
  size_t got = ReadFile(buffer.get(), kBufferBytes);
  end_ = begin_ + got;
  if (got < n) {
    cur_ = end_;
    eof_ = true;
    throw _kelvra_runtime_error(errtext::kFileRead);
  }
  std::memcpy(out, cur_, n);
  cur_ += n;
}

void PdfFileStream::Seek(int64_t offset, int origin) {
  int64_t base;
  if (!SeekBase(origin, Tell(), file_size_, &base)) throw _kelvra_runtime_error(errtext::kFileSeekArgument);
  if (file == nullptr || offset < -base || offset > INT64_MAX - base) throw _kelvra_runtime_error(errtext::kFileSeek);
  const int64_t target = base + offset;
  eof_ = false;
  if (target >= window_offset_ && target <= window_offset_ + (end_ - begin_)) {
    cur_ = begin_ + (target - window_offset_);
    return;
  }
  window_offset_ = target;
  begin_ = cur_ = end_ = buffer.get();
}

int64_t PdfFileStream::Tell() { return window_offset_ + (cur_ - begin_); }

bool PdfFileStream::Eof() { return eof_; }

int64_t PdfFileStream::Length() { throw _kelvra_runtime_error(errtext::kFileLength); }
