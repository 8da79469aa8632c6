#include <cstdio>
#include <memory>

#include "cli/atomicoutputfile.h"
#include "cli/commands.h"
#include "cli/utf8arguments.h"
#include "crypt/pdfdecryption.h"
#include "pdf/pdffilestream.h"
#include "writer/pdfdecryptedfilewriter.h"

std::unique_ptr<std::string> InputPassword(const char* env, bool option_given, const std::string& option) {
  auto password = std::make_unique<std::string>();
  if (option_given) {
    *password = option;
  } else if (!Utf8Arguments::Environment(env, password.get())) {
    password.reset();
  }
  return password;
}

void ReportDecryptionWarning(const PdfFileParser& parser, const std::string& file) {
  if (parser.Decryption() != nullptr && !parser.Decryption()->Handler().Warning().empty())
    std::fprintf(stderr, "varnel: %s: warning: %s\n", file.c_str(), parser.Decryption()->Handler().Warning().c_str());
}

int ReportFailure(const std::string& file) {
  const std::string message = DescribeCurrentException();
  std::fprintf(stderr, "varnel: %s: %s\n", file.c_str(), message.c_str());
  return message == "Wrong password" ? 3 : 1;
}

int RunDecrypt(const DecryptOptions& options) {
  try {
    AtomicOutputFile output(options.output);
    {
      PdfFileStream input;
      input.Abrir(options.input.c_str(), "rb");
      PdfDecryptedFileWriter writer(options.password);
      writer.WriteDocument(input, output.stream());
      ReportDecryptionWarning(writer, options.input);
    }
    output.Commit();
  } catch (...) {
    return ReportFailure(options.input);
  }
  return 0;
}
