#include "cli/encryptjob.h"

#include <cerrno>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <utility>

#include "cli/atomicoutputfile.h"
#include "crypt/pdfdocencoding.h"
#include "crypt/pdfencryptedfilewriter.h"
#include "pdf/pdffilestream.h"

const char* const kDefaultCipher = "rc4-128";

const std::vector<std::string>& CipherNames() {
  static const std::vector<std::string> names = {"aes-256", "aes-128", "rc4-128"};
  return names;
}

namespace {

using Code = PdfErrorReport::Code;

// Passwords are typed as UTF-8; the handler takes PDFDocEncoding bytes, as
// readers do when they check a password.
struct Passwords {
  std::string user, owner;
};
bool ToPdfDoc(const EncryptOptions& options, Passwords* out) {
  return PdfDocEncoding::FromUtf8(options.user_password, &out->user) &&
         PdfDocEncoding::FromUtf8(options.owner_password, &out->owner);
}

// The writer for the cipher asked for; null when this build cannot write
// it (the reason in *why).
std::unique_ptr<PdfEncryptedFileWriter> MakeWriter(const EncryptOptions& options, const Passwords& passwords,
                                                   std::string* why) {
  if (options.cipher != "rc4-128") {
    *why = "the " + options.cipher + " cipher is not available in this build (use --cipher rc4-128)";
    return nullptr;
  }
  return std::make_unique<PdfEncryptedFileWriter>(passwords.user, passwords.owner, options.permissions);
}

}  // namespace

std::string EncryptJob::Validate(const EncryptOptions& options) {
  bool known = false;
  for (const std::string& name : CipherNames()) known = known || name == options.cipher;
  if (!known) return "unknown cipher \"" + options.cipher + "\" (aes-256, aes-128 or rc4-128)";
  if (options.permissions.find_first_not_of("PDMCAS") != std::string::npos)
    return "permissions are letters among P D M C A S, not \"" + options.permissions + "\"";
  const std::pair<const char*, const std::string*> typed[] = {
      {"user", &options.user_password}, {"owner", &options.owner_password}, {"input", &options.input_password}};
  std::string bytes;
  for (const auto& [which, password] : typed) {
    if (!PdfDocEncoding::FromUtf8(*password, &bytes))
      return std::string("the ") + which + " password has a character that PDF passwords cannot hold (PDFDocEncoding)";
  }
  return std::string();
}

std::string EncryptJob::Notes(const EncryptOptions& options) {
  std::string notes;
  Passwords p;
  if (!ToPdfDoc(options, &p)) return notes;
  if (p.user.size() > 32) notes += "varnel: note: only the first 32 bytes of the user password count\n";
  if (p.owner.size() > 32) notes += "varnel: note: only the first 32 bytes of the owner password count\n";
  return notes;
}

FileResult EncryptJob::Run(const EncryptOptions& options, bool helper_threads) {
  FileResult result;
  result.input = options.input;
  result.output = options.output;
  const auto start = std::chrono::steady_clock::now();
  auto finish = [&](std::optional<PdfErrorReport> error) {
    result.error = std::move(error);
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return result;
  };
  auto library_failure = [&](int os_error) {
    return PdfErrorReport::FromLibraryText(DescribeCurrentException(), options.input, os_error);
  };

  Passwords passwords;
  const std::string invalid = Validate(options);
  if (!invalid.empty() || !ToPdfDoc(options, &passwords)) return finish(PdfErrorReport(Code::kUsage, invalid, invalid));
  std::string why;
  std::unique_ptr<PdfEncryptedFileWriter> writer;
  try {
    writer = MakeWriter(options, passwords, &why);
  } catch (...) {
    return finish(library_failure(0));
  }
  if (!writer) return finish(PdfErrorReport(Code::kUsage, why, why));
  writer->SetHelperThreads(helper_threads);

  auto input = std::make_unique<PdfFileStream>();
  try {
    errno = 0;
    input->Abrir(options.input.c_str(), "rb");
  } catch (...) {
    const int os_error = errno;
    return finish(library_failure(os_error));
  }
  result.bytes_in = input->Size();

  std::unique_ptr<AtomicOutputFile> output;
  try {
    output = std::make_unique<AtomicOutputFile>(options.output);
  } catch (const std::exception& e) {
    return finish(PdfErrorReport(Code::kOutputFailed, e.what(), e.what()));
  }
  try {
    writer->WriteDocument(*input, output->stream());
    result.objects = static_cast<int64_t>(writer->ObjectsWritten());
    result.bytes_out = static_cast<int64_t>(output->stream().tellp());
  } catch (...) {
    return finish(library_failure(0));
  }
  // The input is closed first: it may be the output's destination.
  writer.reset();
  input.reset();
  try {
    output->Commit();
  } catch (const std::exception& e) {
    return finish(PdfErrorReport(Code::kOutputFailed, e.what(), e.what()));
  }
  return finish(std::nullopt);
}
