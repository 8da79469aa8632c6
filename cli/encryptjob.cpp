#include "cli/encryptjob.h"

#include <cerrno>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <utility>

#include "cli/atomicoutputfile.h"
#include "crypt/pdfcipherchoice.h"
#include "crypt/pdfdecryption.h"
#include "writer/pdffilewriter.h"
#include "pdf/pdffilestream.h"

const char* const kDefaultCipher = "aes-256";

const std::vector<std::string>& CipherNames() {
  static const std::vector<std::string> names = {"aes-256", "aes-128", "rc4-128"};
  return names;
}

namespace {

using Code = PdfErrorReport::Code;

// Passwords are typed as UTF-8; each revision hashes its own bytes of them
// (PDFDocEncoding for RC4 and AES-128, SASLprep'd UTF-8 for AES-256).
struct Passwords {
  std::string user, owner;
};

// Checks the permission letters and the cipher and prepares both passwords;
// the reason in *why when something cannot be used.
bool Prepare(const EncryptOptions& options, PdfCipherChoice::Cipher* cipher, Passwords* out, std::string* why) {
  if (options.permissions.find_first_not_of("PDMCAS") != std::string::npos) {
    *why = "permissions are letters among P D M C A S, not \"" + options.permissions + "\"";
    return false;
  }
  if (!PdfCipherChoice::Parse(options.cipher, cipher)) {
    *why = "unknown cipher \"" + options.cipher + "\" (aes-256, aes-128 or rc4-128)";
    return false;
  }
  const std::pair<const char*, std::pair<const std::string*, std::string*>> typed[] = {
      {"user", {&options.user_password, &out->user}}, {"owner", {&options.owner_password, &out->owner}}};
  for (const auto& [which, password] : typed) {
    if (PdfCipherChoice::PreparePassword(*cipher, *password.first, password.second)) continue;
    *why = std::string("the ") + which + " password has a character that " +
           (*cipher == PdfCipherChoice::Cipher::kAes256 ? "AES-256 passwords cannot hold (SASLprep refuses it)"
                                                        : "PDF passwords cannot hold (PDFDocEncoding)");
    return false;
  }
  return true;
}

}  // namespace

std::string EncryptJob::Validate(const EncryptOptions& options) {
  PdfCipherChoice::Cipher cipher;
  Passwords passwords;
  std::string why;
  Prepare(options, &cipher, &passwords, &why);
  return why;
}

std::string EncryptJob::Notes(const EncryptOptions& options) {
  std::string notes, why;
  PdfCipherChoice::Cipher cipher;
  Passwords p;
  if (!Prepare(options, &cipher, &p, &why)) return notes;
  const size_t count = PdfCipherChoice::PasswordBytesThatCount(cipher);
  const std::pair<const char*, const std::string*> prepared[] = {{"user", &p.user}, {"owner", &p.owner}};
  for (const auto& [which, password] : prepared)
    if (password->size() > count)
      notes += "varnel: note: only the first " + std::to_string(count) + " bytes of the " + which + " password count\n";
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

  PdfCipherChoice::Cipher cipher;
  Passwords passwords;
  std::string invalid;
  if (!Prepare(options, &cipher, &passwords, &invalid)) return finish(PdfErrorReport(Code::kUsage, invalid, invalid));
  std::unique_ptr<PdfFileWriter> writer;
  try {
    writer = PdfCipherChoice::NewWriter(cipher, passwords.user, passwords.owner, options.permissions);
  } catch (...) {
    return finish(library_failure(0));
  }
  writer->SetHelperThreads(helper_threads);
  PdfDocumentComparer::Known written_forms;
  if (options.verify) writer->RecordForms(&written_forms);
  writer->SetRepair(options.repair);
  if (options.has_input_password) writer->SetPassword(options.input_password, true);

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
    result.repaired = writer->RepairReport().repaired;
    if (result.repaired) result.repair_note = DescribeRepair(writer->RepairReport());
    if (writer->Decryption() != nullptr) result.warning = writer->Decryption()->Handler().Warning();
    if (options.verify) {
      output->stream().flush();
      VerifyEncryptedCopy(options, *writer, &written_forms, output->temp_path());
    }
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
