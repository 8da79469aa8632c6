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
