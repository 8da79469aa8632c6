#include <cstdio>
#include <memory>

#include "cli/atomicoutputfile.h"
#include "cli/commands.h"
#include "crypt/pdfcipherchoice.h"
#include "writer/pdffilewriter.h"
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
      writer->WriteDocument(input, output.stream());
    }
    output.Commit();
  } catch (...) {
    std::fprintf(stderr, "varnel: %s: %s\n", options.input.c_str(), DescribeCurrentException().c_str());
    return 1;
  }
  return 0;
}
