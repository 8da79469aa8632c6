#include <CLI/CLI.hpp>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "cli/batchlist.h"
#include "cli/commands.h"
#include "cli/encryptjob.h"
#include "cli/utf8arguments.h"
#include "varnel/varnel.h"

namespace {

// Up to two lines: the user password, then the owner password. Line ends
// (LF or CR LF) are not part of them. "-" is standard input; a pipe or a
// process substitution (<(...)) is read as a file is. At most 1 MiB.
bool ReadPasswordFile(const std::string& path, std::string lines[2]) {
  std::ifstream file;
  std::istream* in = &std::cin;
  if (path != "-") {
    file.open(std::filesystem::u8path(path), std::ios::binary);
    if (!file) return false;
    in = &file;
  }
  std::string content;
  char chunk[4096];
  while (in->read(chunk, sizeof chunk) || in->gcount() > 0) {
    content.append(chunk, static_cast<size_t>(in->gcount()));
    if (content.size() > (1u << 20)) return false;
  }
  if (in->bad()) return false;
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

// The password that opens an encrypted input, strongest source first: the
// option, the first line of the password file, the environment variable.
// Null when none is there; false when the file cannot be read.
bool OpeningPassword(const char* env, const CLI::Option* option, const std::string& value,
                     const CLI::Option* file_option, const std::string& file, std::unique_ptr<std::string>* password) {
  *password = InputPassword(env, option->count() != 0, value);
  if (option->count() != 0 || file_option->count() == 0) return true;
  std::string lines[2];
  if (!ReadPasswordFile(file, lines)) return false;
  *password = std::make_unique<std::string>(lines[0]);
  return true;
}

// The password of an identity (a private key file): --identity-password,
// else the first line of --identity-password-file, else
// VARNEL_IDENTITY_PASSWORD, else none (an unencrypted PEM key).
struct IdentityPassword {
  std::string value, file;
  CLI::Option* value_flag = nullptr;
  CLI::Option* file_flag = nullptr;

  void AddTo(CLI::App* app) {
    value_flag = app->add_option("--identity-password", value,
                                 "The password of the identity's file (default: VARNEL_IDENTITY_PASSWORD, else none)");
    file_flag =
        app->add_option("--identity-password-file", file, "Read the --identity-password from FILE's first line");
  }
  // false when the password file cannot be read.
  bool Read(std::string* password) const {
    std::unique_ptr<std::string> found;
    if (!OpeningPassword("VARNEL_IDENTITY_PASSWORD", value_flag, value, file_flag, file, &found)) return false;
    if (found != nullptr) *password = *found;
    return true;
  }
};

// An argument that reads as one of the tool's options rather than a value:
// "--verify", "--cipher=aes-128", "-p", "--".
bool LooksLikeOption(const std::string& arg) {
  if (arg.size() == 2 && arg[0] == '-') return arg[1] == '-' || std::isalpha(static_cast<unsigned char>(arg[1]));
  if (arg.size() < 3 || arg.compare(0, 2, "--") != 0) return false;
  const std::string name = arg.substr(2, arg.find('=') - 2);
  return !name.empty() && name.find_first_not_of("abcdefghijklmnopqrstuvwxyz-") == std::string::npos;
}

// A password option followed by what looks like another option: most often
// an empty or forgotten value ("-u $PW" with PW unset) that would take the
// option as the password. The message names no password.
std::string OptionTakenAsPassword(int argc, char** argv) {
  static const char* const kPasswordOptions[] = {
      "-u", "--user-password", "-o", "--owner-password", "--input-password", "--password", "--identity-password"};
  for (int i = 1; i + 1 < argc; ++i) {
    const std::string option = argv[i];
    if (std::find(std::begin(kPasswordOptions), std::end(kPasswordOptions), option) == std::end(kPasswordOptions))
      continue;
    const std::string value = argv[i + 1];
    if (!LooksLikeOption(value)) continue;
    const std::string long_name = option == "-u" ? "--user-password" : option == "-o" ? "--owner-password" : option;
    return option + " is followed by " + value +
           ", an option, not a password (a password that looks like an option is "
           "written " +
           long_name + "=" + value + ")";
  }
  return std::string();
}

// Why the first argument names no command, with the command it was perhaps
// meant to be; empty when it is one (or an option).
std::string UnknownCommand(int argc, char** argv) {
  static const char* const kCommands[] = {"check", "decrypt", "encrypt", "show"};
  if (argc < 2 || argv[1][0] == '-') return std::string();
  const std::string typed = argv[1];
  std::string nearest;
  size_t best = 3;  // more edits than this: no suggestion
  for (const char* command : kCommands) {
    if (typed == command) return std::string();
    // Levenshtein distance, one row at a time.
    const std::string c = command;
    std::vector<size_t> row(c.size() + 1);
    for (size_t j = 0; j <= c.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= typed.size(); ++i) {
      size_t diagonal = row[0];
      row[0] = i;
      for (size_t j = 1; j <= c.size(); ++j) {
        const size_t up = row[j];
        row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (typed[i - 1] == c[j - 1] ? 0 : 1)});
        diagonal = up;
      }
    }
    if (row[c.size()] < best) best = row[c.size()], nearest = c;
  }
  return "unknown command \"" + typed + "\"" +
         (nearest.empty() ? " (check, decrypt, encrypt or show)" : " (did you mean \"" + nearest + "\"?)");
}

bool IsTerminal(FILE* f) {
#ifdef _WIN32
  return _isatty(_fileno(f)) != 0;
#else
  return isatty(fileno(f)) != 0;
#endif
}

}  // namespace

int main(int argc, char** argv) {
  // An interrupted run leaves no temporary file behind.
  varnel::HandleSignals();
  CLI::App app{"varnel: writes an encrypted copy of a PDF file (AES-256 by default)"};
  app.set_version_flag("--version", std::string("varnel ") + varnel::Version() + "\n" + varnel::CryptoLibraryVersion());
  app.require_subcommand(1);
  // Paths such as /tmp/a.pdf are arguments, not options, on every system.
  app.allow_windows_style_options(false);

  std::vector<std::string> check_files;
  CLI::App* check = app.add_subcommand("check", "Read each file as the encryptor would and report what it finds");
  check->add_option("files", check_files, "PDF files")->required();
  std::string check_password;
  CLI::Option* check_password_flag =
      check->add_option("--password", check_password,
                        "Open encrypted files with this password (or VARNEL_PASSWORD) and decrypt everything");
  std::string check_password_file;
  CLI::Option* check_file_flag =
      check->add_option("--password-file", check_password_file, "Read the --password from the first line of FILE");
  IdentityOption check_identity;
  check->add_option("--identity", check_identity.path,
                    "Open files encrypted for certificates with this private key and its certificate (PKCS#12 or PEM)");
  IdentityPassword check_identity_password;
  check_identity_password.AddTo(check);

  // A command of its own rather than a mode of check: check reads every
  // object and needs the password of an encrypted file, show reads only the
  // Encrypt dictionary and needs none, and its exit status answers a question.
  std::vector<std::string> show_files;
  CLI::App* show = app.add_subcommand("show", "Tell how each file is protected (exit status 0: encrypted, 2: not)");
  show->add_option("files", show_files, "PDF files")->required();
  std::string show_password;
  CLI::Option* show_password_flag = show->add_option(
      "--password", show_password, "Also open encrypted files with this password (or VARNEL_PASSWORD): user or owner");
  std::string show_password_file;
  CLI::Option* show_file_flag =
      show->add_option("--password-file", show_password_file, "Read the --password from the first line of FILE");
  IdentityOption show_identity;
  show->add_option("--identity", show_identity.path,
                   "Also open files encrypted for certificates with this private key and its certificate")
      ->excludes(show_password_flag)
      ->excludes(show_file_flag);
  IdentityPassword show_identity_password;
  show_identity_password.AddTo(show);
  bool show_json = false;
  show->add_flag("--json", show_json, "One JSON object per file on standard output");

  CLI::App* decrypt = app.add_subcommand("decrypt", "Write an unencrypted copy of the encrypted INPUT to OUTPUT");
  DecryptOptions decrypt_options;
  decrypt->add_option("input", decrypt_options.input, "Encrypted PDF file")->required();
  decrypt->add_option("output", decrypt_options.output, "Where to write the unencrypted copy (may equal INPUT)")
      ->required();
  std::string decrypt_password;
  CLI::Option* decrypt_password_flag = decrypt->add_option(
      "--password", decrypt_password,
      "The owner password, or a user password that grants modification (default: VARNEL_PASSWORD, else empty)");
  std::string decrypt_password_file;
  CLI::Option* decrypt_file_flag =
      decrypt->add_option("--password-file", decrypt_password_file, "Read the --password from the first line of FILE");
  decrypt->add_option("--identity", decrypt_options.identity.path,
                      "For a file encrypted for certificates: a recipient's private key and certificate (PKCS#12 or "
                      "PEM), one whose rights include modification");
  IdentityPassword decrypt_identity_password;
  decrypt_identity_password.AddTo(decrypt);
  bool decrypt_no_repair = false;
  decrypt->add_flag("--no-repair", decrypt_no_repair, "Refuse a damaged file instead of repairing it");

  CLI::App* encrypt = app.add_subcommand(
      "encrypt",
      "Write an encrypted copy of INPUT to OUTPUT, or of each INPUT into --output-dir, or of each file of --batch");
  EncryptOptions options;
  std::vector<std::string> positional;
  encrypt->add_option("files", positional, "INPUT OUTPUT; or INPUT... with --output-dir");
  std::string user_opt, owner_opt, password_file, output_dir, suffix, batch_file;
  CLI::Option* user_flag =
      encrypt->add_option("-u,--user-password", user_opt, "Password that opens the document (default: none)");
  CLI::Option* owner_flag = encrypt->add_option("-o,--owner-password", owner_opt,
                                                "Password that grants every right (default: random, unrecoverable)");
  CLI::Option* file_flag =
      encrypt->add_option("--password-file", password_file,
                          "Read the user password from the first line of FILE, the owner password from the second");
  encrypt->add_option("-p,--permissions", options.permissions,
                      "Rights granted to user-password readers: P print, D degraded print, M modify, C copy, "
                      "A annotate, S assemble (default: none)");
  encrypt
      ->add_option("--cipher", options.cipher,
                   "aes-256 (revision 6), aes-128 (revision 4) or rc4-128 (revision 3, for readers older than PDF 1.6)")
      ->check(CLI::IsMember(CipherNames()))
      ->default_str(kDefaultCipher);
  CLI::Option* dir_flag =
      encrypt->add_option("--output-dir", output_dir, "Write each INPUT's copy into DIR, under its own name");
  CLI::Option* suffix_flag = encrypt->add_option(
      "--suffix", suffix, "With --output-dir: added to each name before its extension (a.pdf: a-S.pdf with -S)");
  CLI::Option* batch_flag = encrypt->add_option(
      "--batch", batch_file,
      "Encrypt the files FILE lists (- for standard input): a JSON object a line with \"input\", \"output\" and any of "
      "\"user_password\", \"owner_password\", \"permissions\", \"cipher\", \"input_password\", "
      "\"invalidate_signatures\", "
      "\"recipients\", \"owner_recipients\", \"input_identity\"");
  RunSettings settings;
  std::string jobs;
  CLI::Option* jobs_flag =
      encrypt->add_option("-j,--jobs", jobs, "Files encrypted at once (default and most: the number of cores)");
  encrypt->add_flag("--fail-fast", settings.fail_fast, "Start no more files after one fails");
  encrypt->add_flag("--json", settings.json, "Write a JSON record per file, then a summary, on standard output");
  encrypt->add_flag("-q,--quiet", settings.quiet, "No progress, notes or summary on standard error");

  bool no_repair = false;
  encrypt->add_flag("--no-repair", no_repair, "Refuse a damaged file instead of repairing it");
  std::string input_password;
  CLI::Option* input_password_flag = encrypt->add_option(
      "--input-password", input_password,
      "Open an encrypted INPUT with its owner password, or a user password that grants modification "
      "(default: VARNEL_INPUT_PASSWORD)");
  std::string input_password_file;
  CLI::Option* input_file_flag = encrypt->add_option("--input-password-file", input_password_file,
                                                     "Read the --input-password from the first line of FILE");
  encrypt->add_flag("--verify", options.verify,
                    "Reopen the output with the new passwords and compare every object with the input before "
                    "it replaces OUTPUT");
  encrypt->add_flag("--invalidate-signatures", options.invalidate_signatures,
                    "Encrypt a signed or certified file, though its signatures no longer hold for the copy");
  encrypt
      ->add_option("--recipient", options.recipients,
                   "Encrypt for this certificate (PEM or DER; each of a PEM file's) instead of passwords, with the "
                   "rights of --permissions; repeatable")
      ->allow_extra_args(false);  // one certificate each: INPUT and OUTPUT may follow
  encrypt
      ->add_option("--owner-recipient", options.owner_recipients,
                   "Encrypt for this certificate with every right; repeatable")
      ->allow_extra_args(false);
  encrypt->add_flag("--allow-any-certificate", options.allow_any_certificate,
                    "Use recipients' certificates that are expired, not RSA, or not meant for key encipherment");
  encrypt->add_option(
      "--input-identity", options.input_identity.path,
      "Open an INPUT encrypted for certificates with this private key and certificate (PKCS#12 or PEM)");
  encrypt->add_option("--verify-identity", options.verify_identity.path,
                      "With --verify and recipients: one recipient's private key, to read the copy back");
  IdentityPassword encrypt_identity_password;
  encrypt_identity_password.AddTo(encrypt);

  auto usage = [](const std::string& text) {
    std::fprintf(stderr, "varnel: %s\n", text.c_str());
    return 2;
  };
  try {
    Utf8Arguments arguments(argc, argv);
    const std::string taken = OptionTakenAsPassword(arguments.argc(), arguments.argv());
    if (!taken.empty()) return usage(taken);
    const std::string unknown = UnknownCommand(arguments.argc(), arguments.argv());
    if (!unknown.empty()) return usage(unknown);
    app.parse(arguments.argc(), arguments.argv());
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : 2;
  }
  std::unique_ptr<std::string> opening;
  if (check->parsed()) {
    if (!OpeningPassword("VARNEL_PASSWORD", check_password_flag, check_password, check_file_flag, check_password_file,
                         &opening))
      return usage("cannot read the password file " + check_password_file);
    if (!check_identity_password.Read(&check_identity.password))
      return usage("cannot read the password file " + check_identity_password.file);
    return RunCheck(check_files, opening.get(), check_identity);
  }
  if (show->parsed()) {
    if (!OpeningPassword("VARNEL_PASSWORD", show_password_flag, show_password, show_file_flag, show_password_file,
                         &opening))
      return usage("cannot read the password file " + show_password_file);
    if (show_password_file == "-" && std::count(show_files.begin(), show_files.end(), "-") != 0)
      return usage("standard input cannot give both the document and the password");
    if (!show_identity_password.Read(&show_identity.password))
      return usage("cannot read the password file " + show_identity_password.file);
    return RunShow(show_files, opening.get(), show_identity, show_json);
  }
  if (decrypt->parsed()) {
    if (!OpeningPassword("VARNEL_PASSWORD", decrypt_password_flag, decrypt_password, decrypt_file_flag,
                         decrypt_password_file, &opening))
      return usage("cannot read the password file " + decrypt_password_file);
    if (opening != nullptr) decrypt_options.password = *opening;
    decrypt_options.password_given = opening != nullptr;
    decrypt_options.repair = !decrypt_no_repair;
    if (!decrypt_identity_password.Read(&decrypt_options.identity.password))
      return usage("cannot read the password file " + decrypt_identity_password.file);
    if (decrypt_options.input == "-" && decrypt_password_file == "-")
      return usage("standard input cannot give both the document and the password");
    if (decrypt_options.output == "-" && IsTerminal(stdout))
      return usage("standard output is a terminal: redirect it to write the copy there");
    return RunDecrypt(decrypt_options);
  }
  if (!OpeningPassword("VARNEL_INPUT_PASSWORD", input_password_flag, input_password, input_file_flag,
                       input_password_file, &opening))
    return usage("cannot read the password file " + input_password_file);
  if (opening != nullptr) {
    options.input_password = *opening;
    options.has_input_password = true;
  }

  if (jobs_flag->count() != 0) {
    const bool digits = !jobs.empty() && jobs.size() < 6 && jobs.find_first_not_of("0123456789") == std::string::npos;
    if (!digits || std::stoul(jobs) < 1)
      return usage("--jobs must be a whole number of at least 1, not \"" + jobs + "\"");
    settings.jobs = static_cast<unsigned>(std::stoul(jobs));
  }
  settings.batch = batch_flag->count() != 0 || dir_flag->count() != 0;
  if (batch_flag->count() != 0 && !positional.empty()) return usage("--batch takes no INPUT on the command line");
  if (dir_flag->count() != 0 && batch_flag->count() == 0 && positional.empty())
    return usage("--output-dir needs an INPUT");
  if (suffix_flag->count() != 0 && dir_flag->count() == 0) return usage("--suffix needs --output-dir");
  if (!settings.batch && positional.size() != 2)
    return usage("encrypt takes INPUT OUTPUT (or --output-dir, or --batch)");
  if (!settings.batch && positional[0] == "-" && (password_file == "-" || input_password_file == "-"))
    return usage("standard input cannot give both the document and a password");
  if (!settings.batch && positional[1] == "-" && IsTerminal(stdout))
    return usage("standard output is a terminal: redirect it to write the copy there");

  // Password sources, weakest first: the environment, a file, the options.
  Utf8Arguments::Environment("VARNEL_USER_PASSWORD", &options.user_password);
  Utf8Arguments::Environment("VARNEL_OWNER_PASSWORD", &options.owner_password);
  if (file_flag->count() != 0) {
    std::string lines[2];
    if (!ReadPasswordFile(password_file, lines)) return usage("cannot read the password file " + password_file);
    options.user_password = lines[0];
    options.owner_password = lines[1];
  }
  if (user_flag->count() != 0) options.user_password = user_opt;
  if (owner_flag->count() != 0) options.owner_password = owner_opt;
  options.repair = !no_repair;
  if (!encrypt_identity_password.Read(&options.input_identity.password))
    return usage("cannot read the password file " + encrypt_identity_password.file);
  options.verify_identity.password = options.input_identity.password;
  const std::string invalid = EncryptJob::Validate(options);
  if (!invalid.empty()) return usage(invalid);
  const std::string notes = EncryptJob::Notes(options);
  if (!settings.quiet) std::fputs(notes.c_str(), stderr);

  BatchList list;
  bool listed = true;
  if (batch_flag->count() != 0) {
    if (batch_file == "-") {
      listed = list.AddJsonLines(std::cin, output_dir, suffix, options);
    } else {
      std::ifstream in(std::filesystem::u8path(batch_file));
      if (!in) return usage("cannot open the batch " + batch_file);
      listed = list.AddJsonLines(in, output_dir, suffix, options);
    }
  } else if (dir_flag->count() != 0) {
    listed = list.AddInputs(positional, output_dir, suffix, options);
  } else {
    EncryptOptions file = options;
    file.input = positional[0];
    file.output = positional[1];
    const std::string where = file.input;
    listed = list.AddFile(std::move(file), where);
  }
  if (!listed || !list.CheckClashes()) return usage(list.error());
  if (!settings.quiet) std::fputs(EncryptJob::PasswordNotes(list.files()).c_str(), stderr);
  if (dir_flag->count() != 0) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::u8path(output_dir), ec);
    if (!std::filesystem::is_directory(std::filesystem::u8path(output_dir), ec))
      return usage("cannot make the directory " + output_dir);
  }
  return RunEncrypt(list.files(), settings);
}
