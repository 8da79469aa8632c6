#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/utf8arguments.h"
#include "pdf/kelvraruntimeerror.h"
#include "pdf/pdffilestream.h"

std::string DescribeCurrentException() {
  try {
    throw;
  } catch (const _kelvra_runtime_error& e) {
    return e.message;
  } catch (const std::bad_alloc&) {
    return "out of memory";
  } catch (const std::exception& e) {
    return e.what();
  } catch (const char* text) {
    return text;
  } catch (...) {
    return "Fatal error parse phase.";
  }
}

namespace {

// Up to two lines: the user password, then the owner password. Line ends
// (LF or CR LF) are not part of them. Read through the library's file
// stream, so any file name works on Windows too.
bool ReadPasswordFile(const std::string& path, std::string lines[2]) {
  std::string content;
  try {
    PdfFileStream f;
    f.Abrir(path.c_str(), "rb");
    f.Seek(0, 3);
    const int64_t size = f.Tell();
    if (size > (1 << 20)) return false;
    content.resize(static_cast<size_t>(size));
    f.Seek(0, 1);
    f.Leer(&content[0], content.size());
  } catch (const _kelvra_runtime_error&) {
    return false;
  }
  size_t start = 0;
  for (int i = 0; i < 2 && start <= content.size(); ++i) {
    size_t end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    std::string line = content.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines[i] = line;
    start = end + 1;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"varnel: writes an encrypted copy of a PDF file (128-bit RC4, revision 3)"};
  app.set_version_flag("--version", std::string("varnel ") + VARNEL_VERSION);
  app.require_subcommand(1);
  // Paths such as /tmp/a.pdf are arguments, not options, on every system.
  app.allow_windows_style_options(false);

  std::vector<std::string> check_files;
  CLI::App* check = app.add_subcommand("check", "Read each file as the encryptor would and report what it finds");
  check->add_option("files", check_files, "PDF files")->required();

  CLI::App* encrypt = app.add_subcommand("encrypt", "Write an encrypted copy of INPUT to OUTPUT");
  EncryptOptions options;
  encrypt->add_option("input", options.input, "PDF file to encrypt")->required();
  encrypt->add_option("output", options.output, "Where to write the encrypted copy (may equal INPUT)")->required();
  std::string user_opt, owner_opt, password_file;
  CLI::Option* user_flag = encrypt->add_option("-u,--user-password", user_opt, "Password that opens the document (default: none)");
  CLI::Option* owner_flag =
      encrypt->add_option("-o,--owner-password", owner_opt, "Password that grants every right (default: random, unrecoverable)");
  CLI::Option* file_flag = encrypt->add_option(
      "--password-file", password_file, "Read the user password from the first line of FILE, the owner password from the second");
  encrypt->add_option("-p,--permissions", options.permissions,
                      "Rights granted to user-password readers: P print, D degraded print, M modify, C copy, "
                      "A annotate, S assemble (default: none)")
      ->check([](const std::string& letters) {
        return letters.find_first_not_of("PDMCAS") == std::string::npos ? std::string()
                                                                        : std::string("permissions are letters among P D M C A S");
      });

  bool no_repair = false;
  encrypt->add_flag("--no-repair", no_repair, "Refuse a damaged file instead of repairing it");

  try {
    Utf8Arguments arguments(argc, argv);
    app.parse(arguments.argc(), arguments.argv());
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : 2;
  }
  if (check->parsed()) return RunCheck(check_files);

  // Password sources, weakest first: the environment, a file, the options.
  Utf8Arguments::Environment("VARNEL_USER_PASSWORD", &options.user_password);
  Utf8Arguments::Environment("VARNEL_OWNER_PASSWORD", &options.owner_password);
  if (file_flag->count() != 0) {
    std::string lines[2];
    if (!ReadPasswordFile(password_file, lines)) {
      std::fprintf(stderr, "varnel: cannot read the password file %s\n", password_file.c_str());
      return 2;
    }
    options.user_password = lines[0];
    options.owner_password = lines[1];
  }
  if (user_flag->count() != 0) options.user_password = user_opt;
  if (owner_flag->count() != 0) options.owner_password = owner_opt;
  options.repair = !no_repair;
  return RunEncrypt(options);
}
