#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "crypt/pdfsecurityhandler.h"
#include "writer/pdffilewriter.h"

// The writer for the AES revisions (4: AES-128, 6: AES-256): every string
// and every stream of every object becomes a fresh random 16-byte IV
// followed by the data in AES-CBC with PKCS#7 padding (1 to 16 bytes, so
// an empty string becomes 32 bytes), under the key the handler gives for
// the object. Stream data are still copied as stored, in chunks; each
// stream's /Length is the encrypted length. The Encrypt dictionary, the
// identifier and the closing cross-reference stream stay unencrypted (all
// of it PdfFileWriter's encryption with the handler's cipher). When the
// handler names an extension level (revision 6), the catalog declares it
// (/Extensions /ADBE, merged into the catalog's own /Extensions); a
// catalog kept in an object stream is written as an object of its own.
class PdfAesEncryptedFileWriter : public PdfFileWriter {
 public:
  // handler: keys already computed; its DataCipher is kAes.
  explicit PdfAesEncryptedFileWriter(std::unique_ptr<PdfSecurityHandler> handler);
  ~PdfAesEncryptedFileWriter() override;

  void WriteLiteralString(std::string bytes, int64_t number, int64_t generation) override;
  void WriteStreamData(PdfStream& input, int64_t offset, int64_t length, int64_t number, int64_t generation) override;
  void WriteDocumentEnd(PdfStream& input) override;
  void WriteTrailerEntries(PdfStream& input) override;

  const PdfSecurityHandler& SecurityHandler() const { return *handler_; }

 protected:
  void PlanObjects(const std::vector<const XRefEntry*>& objects) override;
  bool WritesOnItsOwn(int64_t number) const override { return number == catalog_number_ && catalog_generation_ == 0; }
  void WriteObjectValue(PdfValue* value, PdfStream& input, int64_t number, int64_t generation) override;

 private:
  // The catalog with /Extensions /ADBE at the handler's extension level.
  void WriteCatalog(PdfDiccionario* catalog, PdfStream& input, int64_t number, int64_t generation);
  void WriteExtensions(PdfValue* extensions, PdfStream& input, int64_t number, int64_t generation);

  std::unique_ptr<PdfSecurityHandler> handler_;
  int64_t catalog_number_ = -1;
  int64_t catalog_generation_ = -1;
};
