#include <cstdio>
#include <memory>

#include "cli/atomicoutputfile.h"
#include "cli/commands.h"
#include "crypt/pdfcipherchoice.h"
#include "writer/pdffilewriter.h"
#include "crypt/pdfdecryption.h"
#include "pdf/kelvraruntimeerror.h"
#include "pdf/pdfdocumentcomparer.h"
#include "pdf/pdffileparser.h"
#include "pdf/pdffilestream.h"

namespace {

// Passwords are typed as UTF-8; each revision hashes its own bytes of them
// (PDFDocEncoding for RC4 and AES-128, SASLprep'd UTF-8 for AES-256).
bool Prepare(PdfCipherChoice::Cipher cipher, const char* which, const std::string& utf8, std::string* out) {
  if (PdfCipherChoice::PreparePassword(cipher, utf8, out)) {
    const size_t count = PdfCipherChoice::PasswordBytesThatCount(cipher);
    if (out->size() > count)
      std::fprintf(stderr, "varnel: note: only the first %zu bytes of the %s password count\n", count, which);
    return true;
  }
  if (cipher == PdfCipherChoice::Cipher::kAes256) {
    std::fprintf(stderr, "varnel: the %s password has a character that AES-256 passwords cannot hold (SASLprep refuses it)\n",
                 which);
  } else {
    std::fprintf(stderr, "varnel: the %s password has a character that PDF passwords cannot hold (PDFDocEncoding)\n", which);
  }
  return false;
}

// Reads what was written back with the new passwords (each must open it
// with its own rights) and compares every object with the input's.
void Verify(const EncryptOptions& options, AtomicOutputFile& output) {
  output.stream().flush();
  if (!options.owner_password.empty()) {
    PdfFileStream written;
    written.Abrir(output.temp_path().c_str(), "rb");
    PdfFileParser owner;
    owner.SetPassword(options.owner_password, false);
    owner.Parse(written);
    if (owner.Decryption() == nullptr || owner.Decryption()->GetAccess() != PdfSecurityHandler::Access::kOwner)
      throw _kelvra_runtime_error("Verify:the owner password does not open the output as owner");
  }
  PdfFileStream input, written;
  input.Abrir(options.input.c_str(), "rb");
  written.Abrir(output.temp_path().c_str(), "rb");
  PdfFileParser expected, actual;
  if (options.input_password != nullptr) expected.SetPassword(*options.input_password, false);
  actual.SetPassword(options.user_password, false);
  expected.Parse(input);
  actual.Parse(written);
  if (actual.Decryption() == nullptr) throw _kelvra_runtime_error("Verify:the output is not encrypted");
  PdfDocumentComparer::Compare(expected, actual);
}

}  // namespace

int RunEncrypt(const EncryptOptions& options) {
  PdfCipherChoice::Cipher cipher;
  if (!PdfCipherChoice::Parse(options.cipher, &cipher)) {
    std::fprintf(stderr, "varnel: unknown cipher %s (aes-256, aes-128 or rc4-128)\n", options.cipher.c_str());
    return 2;
  }
  std::string user, owner;
  if (!Prepare(cipher, "user", options.user_password, &user) || !Prepare(cipher, "owner", options.owner_password, &owner))
    return 2;
  try {
    AtomicOutputFile output(options.output);
    {
      PdfFileStream input;
      input.Abrir(options.input.c_str(), "rb");
      std::unique_ptr<PdfFileWriter> writer = PdfCipherChoice::NewWriter(cipher, user, owner, options.permissions);
      if (options.input_password != nullptr) writer->SetPassword(*options.input_password, true);
      writer->WriteDocument(input, output.stream());
      ReportDecryptionWarning(*writer, options.input);
    }
    if (options.verify) Verify(options, output);
    output.Commit();
  } catch (...) {
    return ReportFailure(options.input);
  }
  return 0;
}
