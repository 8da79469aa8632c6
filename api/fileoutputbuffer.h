#pragma once
#include <cstdint>
#include <memory>
#include <streambuf>
#include <system_error>

// A stream buffer that writes to an open file descriptor (a HANDLE on
// Windows) through a buffer of its own. It never closes the descriptor. The
// first failed write is kept with its reason; after it nothing more is
// written and the stream goes bad. tellp() gives the bytes written so far.
class FileOutputBuffer : public std::streambuf {
 public:
#ifdef _WIN32
  using Native = void*;
#else
  using Native = int;
#endif
  explicit FileOutputBuffer(Native file);
  ~FileOutputBuffer() override;
  FileOutputBuffer(const FileOutputBuffer&) = delete;
  FileOutputBuffer& operator=(const FileOutputBuffer&) = delete;

  // Why a write failed (no error while none did).
  const std::error_code& error() const { return error_; }
  // Writes the bytes given, past any buffered ones; false once a write failed.
  bool WriteAll(const char* data, size_t size);

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* s, std::streamsize n) override;
  int sync() override;
  pos_type seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode which) override;

 private:
  bool Drain();

  Native file_;
  std::unique_ptr<char[]> buffer_;
  int64_t written_ = 0;
  std::error_code error_;
};
