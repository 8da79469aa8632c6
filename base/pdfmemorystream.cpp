#include "base/pdfmemorystream.h"

#include <cstring>

#include "base/kelvraruntimeerror.h"

PdfMemoryStream::PdfMemoryStream() = default;

PdfMemoryStream::PdfMemoryStream(const void* data, size_t length) { SetBuffer(data, length); }

PdfMemoryStream::~PdfMemoryStream() = default;

void PdfMemoryStream::SetBuffer(const void* data, size_t length) {
  size_t position = static_cast<size_t>(cur_ - begin_);
  begin_ = static_cast<const uint8_t*>(data);
  end_ = begin_ + length;
  cur_ = begin_ + (position < length ? position : length);
}

void PdfMemoryStream::Leer(void* buffer, size_t n) {
  if (n > static_cast<size_t>(end_ - cur_)) throw _kelvra_runtime_error(errtext::kMemoryRead);
  if (n != 0) std::memcpy(buffer, cur_, n);
  cur_ += n;
}

void PdfMemoryStream::Seek(int64_t offset, int origin) {
  int64_t base;
  if (!SeekBase(origin, cur_ - begin_, end_ - begin_, &base)) throw _kelvra_runtime_error(errtext::kMemorySeekArgument);
  const int64_t length = end_ - begin_;
  // Checked without forming the sum, so no offset can overflow.
  if (offset < -base || offset > length - base) throw _kelvra_runtime_error(errtext::kMemorySeek);
  cur_ = begin_ + (base + offset);
}

int64_t PdfMemoryStream::Tell() { return cur_ - begin_; }

bool PdfMemoryStream::Eof() { return cur_ >= end_; }

int64_t PdfMemoryStream::Length() { return end_ - begin_; }

int PdfMemoryStream::LeerByte() { return cur_ < end_ ? *cur_++ : -1; }
