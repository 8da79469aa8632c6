#include <cstdio>
#include <memory>

#include "cli/commands.h"
#include "cli/encryptjob.h"
#include "cli/utf8arguments.h"
#include "varnel/varnel.h"

std::unique_ptr<std::string> InputPassword(const char* env, bool option_given, const std::string& option) {
  auto password = std::make_unique<std::string>();
  if (option_given) {
    *password = option;
  } else if (!Utf8Arguments::Environment(env, password.get())) {
    password.reset();
  }
  return password;
}

void ReportDecryptionWarning(const std::string& warning, const std::string& file) {
  if (!warning.empty()) std::fprintf(stderr, "varnel: %s: warning: %s\n", file.c_str(), warning.c_str());
}

int FailureStatus(const varnel::Error& error) { return error.code() == varnel::ErrorCode::kWrongPassword ? 3 : 1; }

int RunDecrypt(const DecryptOptions& options) {
  varnel::DecryptOptions library;
  library.password = options.password;
  library.repair = options.repair;
  if (!options.identity.path.empty())
    library.identity = varnel::Identity{options.identity.path, {}, options.identity.password};
  try {
    const varnel::Result done = varnel::DecryptFile(options.input, options.output, library);
    ReportDecryptionWarning(done.warning, options.input);
    // What a repair did, as encrypt tells it: the copy is not the file as stored.
    if (done.repaired) std::fprintf(stderr, "varnel: %s: %s\n", options.input.c_str(), done.repair_note.c_str());
    std::fputs(NoteLines(done.output_note + "\n" + done.notice).c_str(), stderr);
  } catch (const varnel::Error& e) {
    if (e.code() == varnel::ErrorCode::kWrongPassword && !options.password_given && options.identity.path.empty())
      std::fprintf(stderr,
                   "varnel: %s is encrypted and no password or identity was given (use --password, --password-file "
                   "or VARNEL_PASSWORD; --identity for a file encrypted for certificates)\n",
                   options.input == "-" ? "standard input" : options.input.c_str());
    else
      std::fprintf(stderr, "varnel: %s: %s\n", options.input.c_str(), e.what());
    return FailureStatus(e);
  }
  return 0;
}
