#pragma once
#include <string>
#include <string_view>

#include "crypt/pdfstandardsecurityhandler.h"
#include "writer/pdffilewriter.h"

// The writer a request uses: a PdfFileWriter that encrypts every string and
// every stream of every object with that object's RC4 key, writes the
// Encrypt dictionary of the Standard security handler (revision 3, 128-bit
// keys) as one more object, and names it with "/Encrypt" and "/ID" in the
// closing cross-reference stream, which itself stays unencrypted. The work
// is PdfFileWriter's encryption with this handler's cipher (one key
// schedule per object, run ahead on a second thread for large documents).
class PdfEncryptedFileWriter : public PdfFileWriter {
 public:
  // Passwords are the bytes the handler pads (PDFDocEncoding); permissions
  // are the letters P D M C A S. An empty owner password is replaced by 16
  // random letters.
  PdfEncryptedFileWriter(std::string_view user_password, std::string_view owner_password,
                         const std::string& permissions);
  // For golden-file tests only: a fixed 16-byte identifier, so that the
  // output is the same on every run (with a non-empty owner password).
  PdfEncryptedFileWriter(std::string_view user_password, std::string_view owner_password,
                         const std::string& permissions, const std::string& fixed_identifier);
  ~PdfEncryptedFileWriter() override;

  void WriteLiteralString(std::string bytes, int64_t number, int64_t generation) override;
  void WriteStreamData(PdfStream& input, int64_t offset, int64_t length, int64_t number, int64_t generation) override;
  void WriteDocumentEnd(PdfStream& input) override;
  void WriteTrailerEntries(PdfStream& input) override;

  void KeepAccessible(std::string_view user, std::string_view owner, const std::string& permissions) override;

  const PdfStandardSecurityHandler& SecurityHandler() const { return handler; }

 private:
  PdfStandardSecurityHandler handler;
};
