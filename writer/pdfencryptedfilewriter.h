#pragma once
#include <memory>
#include <optional>
#include <string>

#include "crypt/pdfstandardsecurityhandler.h"
#include "crypt/rc4.h"
#include "crypt/rc4keypipeline.h"
#include "writer/pdffilewriter.h"

// The writer a request uses: a PdfFileWriter that encrypts every string and
// every stream of every object with that object's RC4 key, writes the
// Encrypt dictionary of the Standard security handler (revision 3, 128-bit
// keys) as one more object, and names it with "/Encrypt" and "/ID" in the
// closing cross-reference stream, which itself stays unencrypted.
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

  const PdfStandardSecurityHandler& SecurityHandler() const { return handler; }

 protected:
  // Starts the key schedules of the objects written whole on a second
  // thread, when the document is large enough to gain from it.
  void PlanObjects(const std::vector<const XRefEntry*>& objects) override;

 private:
  // The RC4 state of an object's key after its key schedule, kept for the
  // object's other strings and its stream: an object costs one MD5 and one
  // schedule however many strings it has.
  const Rc4& ObjectCipher(int64_t number, int64_t generation);

  PdfStandardSecurityHandler handler;
  int64_t encrypt_number = 0;
  std::optional<Rc4> cipher_;
  int64_t cipher_number_ = -1;
  int64_t cipher_generation_ = -1;
  std::unique_ptr<Rc4KeyPipeline> pipeline_;
};
