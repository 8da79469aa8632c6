#include "writer/pdfencryptedfilewriter.h"

PdfEncryptedFileWriter::PdfEncryptedFileWriter(std::string_view user_password, std::string_view owner_password,
                                               const std::string& permissions) {
  handler.ComputeKeys(user_password, owner_password, permissions);
  EncryptWith(handler);
}

PdfEncryptedFileWriter::PdfEncryptedFileWriter(std::string_view user_password, std::string_view owner_password,
                                               const std::string& permissions, const std::string& fixed_identifier) {
  handler.ComputeKeys(user_password, owner_password, permissions, fixed_identifier);
  EncryptWith(handler);
}

PdfEncryptedFileWriter::~PdfEncryptedFileWriter() { StopEncrypting(); }

void PdfEncryptedFileWriter::KeepAccessible(std::string_view user, std::string_view owner,
                                            const std::string& permissions) {
  StopEncrypting();
  handler.AlsoGrant(0x200);
  handler.ComputeKeys(user, owner, permissions);
  EncryptWith(handler);
}

void PdfEncryptedFileWriter::WriteLiteralString(std::string bytes, int64_t number, int64_t generation) {
  WriteEncryptedString(std::move(bytes), number, generation);
}

void PdfEncryptedFileWriter::WriteStreamData(PdfStream& input, int64_t offset, int64_t length, int64_t number,
                                             int64_t generation) {
  WriteEncryptedStreamData(input, offset, length, number, generation);
}

void PdfEncryptedFileWriter::WriteDocumentEnd(PdfStream& input) { WriteEncryptedDocumentEnd(input); }

void PdfEncryptedFileWriter::WriteTrailerEntries(PdfStream&) { WriteEncryptTrailerEntries(); }
