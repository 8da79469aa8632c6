#include <cstdio>

#include "cli/atomicoutputfile.h"
#include "cli/commands.h"
#include "crypt/pdfdocencoding.h"
#include "crypt/pdfencryptedfilewriter.h"
#include "pdf/pdffilestream.h"

namespace {

// Passwords are typed as UTF-8; the handler takes PDFDocEncoding bytes, as
// readers do when they check a password of this revision.
bool ToPdfDoc(const char* which, const std::string& utf8, std::string* out) {
  if (PdfDocEncoding::FromUtf8(utf8, out)) {
    if (out->size() > 32) std::fprintf(stderr, "varnel: note: only the first 32 bytes of the %s password count\n", which);
    return true;
  }
  std::fprintf(stderr, "varnel: the %s password has a character that PDF passwords cannot hold (PDFDocEncoding)\n", which);
  return false;
}

}  // namespace

int RunEncrypt(const EncryptOptions& options) {
  std::string user, owner;
  if (!ToPdfDoc("user", options.user_password, &user) || !ToPdfDoc("owner", options.owner_password, &owner)) return 2;
  try {
    AtomicOutputFile output(options.output);
    {
      PdfFileStream input;
      input.Abrir(options.input.c_str(), "rb");
      PdfEncryptedFileWriter writer(user, owner, options.permissions);
      writer.WriteDocument(input, output.stream());
    }
    output.Commit();
  } catch (...) {
    std::fprintf(stderr, "varnel: %s: %s\n", options.input.c_str(), DescribeCurrentException().c_str());
    return 1;
  }
  return 0;
}
