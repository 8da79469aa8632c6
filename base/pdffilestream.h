#pragma once
#include <cstdio>
#include <memory>

#include "base/pdfstream.h"

// A stream over a file on disk. The file is read through a buffer of our own,
// so the tokenizer's byte-at-a-time reads cost neither a system call nor a
// locked stdio call per byte. Seeks inside the buffered window move nothing
// but a pointer; others are done lazily at the next read.
//
// Like a standard buffered file, the stream reports Eof only after a read has
// run into the end of the file, and such a read fails with
// "PdfFileStream::Leer::fread".
class PdfFileStream : public PdfStream {
 public:
  static constexpr size_t kBufferBytes = size_t{1} << 16;

  PdfFileStream();
  ~PdfFileStream() override;

  // Opens the file. On Windows the path is UTF-8 and opened with the
  // wide-character API, so every file name works whatever the code page.
  void Abrir(const char* path, const char* mode);

  void Leer(void* buffer, size_t n) override;
  void Seek(int64_t offset, int origin) override;
  void Cerrar() override;
  int64_t Tell() override;
  bool Eof() override;
  int64_t Length() override;
  // The size of the open file in bytes, as found when it was opened.
  int64_t Size() const { return file_size_; }

 protected:
  int Underflow() override;

 private:
  // Moves the underlying file to the logical position and empties the window.
  void DropWindow();
  size_t ReadFile(void* dest, size_t n);

  FILE* file = nullptr;
  std::unique_ptr<uint8_t[]> buffer;
  int64_t window_offset_ = 0;  // file offset of begin_
  int64_t file_offset_ = 0;    // where the FILE stands, -1 when unknown
  int64_t file_size_ = 0;      // size at open, for seeks from the end
  bool eof_ = false;
};
