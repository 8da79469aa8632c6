#pragma once
#include "base/pdfstream.h"

// A stream over a byte buffer that the caller owns and keeps alive for the
// stream's lifetime. Every read is bounds-checked: asking for more bytes than
// remain throws "PdfMemoryStream::Leer:fuera de rango" and moves nothing.
class PdfMemoryStream : public PdfStream {
 public:
  PdfMemoryStream();
  PdfMemoryStream(const void* data, size_t length);
  ~PdfMemoryStream() override;

  // Attaches a buffer; the position is kept (clamped to the new length).
  void SetBuffer(const void* data, size_t length);

  void Leer(void* buffer, size_t n) override;
  void Seek(int64_t offset, int origin) override;
  int64_t Tell() override;
  bool Eof() override;
  int64_t Length() override;
  int LeerByte() override;
};
