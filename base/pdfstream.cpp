#include "base/pdfstream.h"

PdfStream::~PdfStream() = default;
void PdfStream::Leer(void*, size_t) {}
void PdfStream::Seek(int64_t, int) {}
void PdfStream::Cerrar() {}
int64_t PdfStream::Tell() { return 0; }
bool PdfStream::Eof() { return false; }
int64_t PdfStream::Length() { return 0; }
int PdfStream::LeerByte() { return -1; }
int PdfStream::Underflow() { return -1; }

bool PdfStream::SeekBase(int origin, int64_t here, int64_t size, int64_t* base) {
  if (origin < 1 || origin > 3) return false;
  *base = origin == 1 ? 0 : origin == 2 ? here : size;
  return true;
}
