#include "cli/encryptjob.h"

#include <chrono>
#include <filesystem>
#include <system_error>
#include <utility>

#include "varnel/varnel.h"

const char* const kDefaultCipher = "aes-256";

const std::vector<std::string>& CipherNames() {
  static const std::vector<std::string> names = {"aes-256", "aes-128", "rc4-128"};
  return names;
}

namespace {

// The library's options for a file; false when the cipher has no such name.
bool LibraryOptions(const EncryptOptions& options, varnel::EncryptOptions* out) {
  out->user_password = options.user_password;
  out->owner_password = options.owner_password;
  out->permissions = options.permissions;
  if (options.has_input_password) out->input_password = options.input_password;
  out->repair = options.repair;
  out->verify = options.verify;
  out->invalidate_signatures = options.invalidate_signatures;
  for (const std::string& path : options.recipients) out->recipients.push_back({path, {}});
  for (const std::string& path : options.owner_recipients) out->owner_recipients.push_back({path, {}});
  out->allow_any_certificate = options.allow_any_certificate;
  if (!options.input_identity.path.empty())
    out->input_identity = varnel::Identity{options.input_identity.path, {}, options.input_identity.password};
  if (!options.verify_identity.path.empty())
    out->verify_identity = varnel::Identity{options.verify_identity.path, {}, options.verify_identity.password};
  return varnel::CipherNamed(options.cipher, &out->cipher);
}

int64_t FileSize(const std::string& name) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(std::filesystem::u8path(name), ec);
  return ec ? 0 : static_cast<int64_t>(size);
}

}  // namespace

std::string EncryptJob::Validate(const EncryptOptions& options) {
  varnel::EncryptOptions library;
  if (LibraryOptions(options, &library)) return varnel::EncryptOptionsProblem(library);
  // Permission letters are checked before the cipher, the passwords after.
  library.user_password.clear();
  library.owner_password.clear();
  const std::string why = varnel::EncryptOptionsProblem(library);
  return !why.empty() ? why : "unknown cipher \"" + options.cipher + "\" (aes-256, aes-128 or rc4-128)";
}

std::string EncryptJob::Notes(const EncryptOptions& options) {
  varnel::EncryptOptions library;
  return LibraryOptions(options, &library) ? varnel::EncryptOptionsNotes(library) : std::string();
}

std::string NoteLines(const std::string& notice) {
  std::string lines;
  size_t from = 0;
  while (from < notice.size()) {
    size_t end = notice.find('\n', from);
    if (end == std::string::npos) end = notice.size();
    if (end > from) lines += "varnel: note: " + notice.substr(from, end - from) + "\n";
    from = end + 1;
  }
  return lines;
}

std::string EncryptJob::PasswordNotes(const std::vector<EncryptOptions>& files) {
  size_t open = 0, same = 0;
  for (const EncryptOptions& f : files) {
    open += f.user_password.empty() && f.recipients.empty() && f.owner_recipients.empty();
    same += !f.user_password.empty() && f.user_password == f.owner_password;
  }
  std::string notes;
  const bool one = files.size() == 1;
  if (open != 0)
    notes += one ? "varnel: note: the copy opens without a password; its rights are limited\n"
                 : "varnel: note: " + std::to_string(open) +
                       " of the copies open without a password; their rights are limited\n";
  if (same != 0)
    notes += one ? "varnel: note: the user and owner passwords are the same: whoever opens the copy has every right\n"
                 : "varnel: note: " + std::to_string(same) +
                       " of the copies have the same user and owner password: whoever opens them has every right\n";
  return notes;
}

FileResult EncryptJob::Run(const EncryptOptions& options, bool helper_threads) {
  FileResult result;
  result.input = options.input;
  result.output = options.output;
  const auto start = std::chrono::steady_clock::now();
  varnel::EncryptOptions library;
  library.threads = helper_threads;
  // Taken before: the input may be the output.
  result.bytes_in = FileSize(options.input);
  const std::string invalid = Validate(options);
  if (!invalid.empty() || !LibraryOptions(options, &library)) {
    result.error = FileError{varnel::ErrorCode::kUsage, invalid, invalid};
  } else {
    try {
      const varnel::Result done = varnel::EncryptFile(options.input, options.output, library);
      result.bytes_out = done.bytes_out;
      result.objects = done.objects;
      result.repaired = done.repaired;
      result.repair_note = done.repair_note;
      result.warning = done.warning;
      result.output_note = done.output_note;
      result.notice = done.notice;
    } catch (const varnel::Error& e) {
      result.error = FileError{e.code(), e.what(), e.detail()};
    }
  }
  // Counted only for an input that was opened.
  if (result.error &&
      (result.error->code == varnel::ErrorCode::kOpenFailed || result.error->code == varnel::ErrorCode::kUsage))
    result.bytes_in = 0;
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return result;
}
