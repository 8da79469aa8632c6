// Writes the encrypted copy of a PDF with a fixed identifier and fixed
// passwords, so that the same input always gives the same bytes. Used to
// show that a change to the reader or writer leaves every output unchanged
// (bench/digests), and by the benchmark for the run over 4 GiB.
//
// Usage: varnel_fixedid INPUT OUTPUT
// Prints the library's message and exits 1 when the input cannot be written.
#include <cstdio>
#include <fstream>

#include "writer/pdfencryptedfilewriter.h"
#include "base/kelvraruntimeerror.h"
#include "base/pdffilestream.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s INPUT OUTPUT\n", argv[0]);
    return 2;
  }
  std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
  if (!out) {
    std::fprintf(stderr, "cannot create %s\n", argv[2]);
    return 2;
  }
  try {
    PdfFileStream input;
    input.Abrir(argv[1], "rb");
    PdfEncryptedFileWriter writer("u", "o", "PC", "0123456789abcdef");
    writer.SetRepair(true);
    writer.WriteDocument(input, out);
  } catch (const _kelvra_runtime_error& e) {
    std::printf("error: %s\n", e.message.c_str());
    return 1;
  } catch (...) {
    std::printf("error: other\n");
    return 1;
  }
  return 0;
}
