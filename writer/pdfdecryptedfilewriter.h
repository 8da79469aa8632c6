#pragma once
#include <string_view>

#include "writer/pdffilewriter.h"

// Writes an unencrypted copy of an encrypted file: every object with its
// own number, strings and stream data decrypted (stream data still
// encoded as stored), the Encrypt dictionary left out, the file identifier
// kept. The password must be the owner password, or a user password whose
// document grants modification ("Owner password needed" otherwise).
class PdfDecryptedFileWriter : public PdfFileWriter {
 public:
  explicit PdfDecryptedFileWriter(std::string_view password);

  void WriteTrailerEntries(PdfStream& input) override;
};
