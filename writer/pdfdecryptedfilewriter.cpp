#include "writer/pdfdecryptedfilewriter.h"

#include "crypt/pdfsecurityhandler.h"
#include "pdf/pdfarray.h"

PdfDecryptedFileWriter::PdfDecryptedFileWriter(std::string_view password) { SetPassword(password, true); }

void PdfDecryptedFileWriter::WriteTrailerEntries(PdfStream&) {
  // The identifier as the input has it (two strings), never encrypted.
  PdfValue* id = BuscarEnTrailer("/ID", true);
  if (id == nullptr || id->kind() != PdfValue::Kind::Array) return;
  auto* elements = static_cast<PdfArray*>(id);
  if (elements->GetSize() != 2) return;
  std::string text = "/ID [";
  for (int64_t i = 0; i < 2; ++i) {
    PdfValue* part = elements->GetValue(i, true);
    if (part == nullptr || part->kind() != PdfValue::Kind::Value) return;
    if (part->native_type == NATIVE_STRING) {
      text += "<" + PdfSecurityHandler::Hex(part->text) + ">";
    } else if (part->native_type == NATIVE_HEXSTRING) {
      text += "<" + part->text + ">";
    } else {
      return;
    }
  }
  Out(text + "]\n");
}
