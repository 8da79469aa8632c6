#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "pdf/kelvraruntimeerror.h"

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

int main(int argc, char** argv) {
  CLI::App app{"varnel: writes an encrypted copy of a PDF file (128-bit RC4, revision 3)"};
  app.set_version_flag("--version", std::string("varnel ") + VARNEL_VERSION);
  app.require_subcommand(1);

  std::vector<std::string> check_files;
  CLI::App* check = app.add_subcommand("check", "Read each file as the encryptor would and report what it finds");
  check->add_option("files", check_files, "PDF files")->required();

  CLI::App* encrypt = app.add_subcommand("encrypt", "Write an encrypted copy of INPUT to OUTPUT");
  EncryptOptions options;
  encrypt->add_option("input", options.input, "PDF file to encrypt")->required();
  encrypt->add_option("output", options.output, "Where to write the encrypted copy (may equal INPUT)")->required();
  (void)encrypt;

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : 2;
  }
  if (check->parsed()) return RunCheck(check_files);
  return RunEncrypt(options);
}
