#include "cli/batchrunner.h"
#include "cli/commands.h"
#include "crypt/pdfdecryption.h"
#include "pdf/kelvraruntimeerror.h"
#include "pdf/pdfdocumentcomparer.h"
#include "pdf/pdffileparser.h"
#include "pdf/pdffilestream.h"
#include "pdf/pdfrepairreport.h"

int RunEncrypt(const std::vector<EncryptOptions>& files, const RunSettings& settings) {
  return BatchRunner(files, settings).Run();
}

namespace {

// "a; b; c (and 4 more)".
std::string JoinNotes(const std::vector<std::string>& notes, size_t count) {
  std::string text;
  for (const std::string& note : notes) text += (text.empty() ? "" : "; ") + note;
  if (count > notes.size()) text += " (and " + std::to_string(count - notes.size()) + " more)";
  return text;
}

}  // namespace

std::string DescribeRepair(const PdfRepairReport& report) {
  std::string text = "repaired:";
  if (report.rebuilt_count != 0) text += " rebuilt " + JoinNotes(report.rebuilt, report.rebuilt_count) + ";";
  text += report.dropped_count != 0 ? " dropped " + JoinNotes(report.dropped, report.dropped_count) + ";" : " nothing dropped;";
  if (!report.reason.empty()) text += " read as written it failed with " + report.reason;
  if (text.back() == ';') text.pop_back();
  return text;
}

// Reads what was written back with the new passwords (each must open it
// with its own rights) and compares every object with the input's.
void VerifyEncryptedCopy(const EncryptOptions& options, const std::string& written_path) {
  if (!options.owner_password.empty()) {
    PdfFileStream written;
    written.Abrir(written_path.c_str(), "rb");
    PdfFileParser owner;
    owner.SetPassword(options.owner_password, false);
    owner.Parse(written);
    if (owner.Decryption() == nullptr || owner.Decryption()->GetAccess() != PdfSecurityHandler::Access::kOwner)
      throw _kelvra_runtime_error("Verify:the owner password does not open the output as owner");
  }
  PdfFileStream input, written;
  input.Abrir(options.input.c_str(), "rb");
  written.Abrir(written_path.c_str(), "rb");
  PdfFileParser expected, actual;
  expected.SetRepair(options.repair);
  if (options.has_input_password) expected.SetPassword(options.input_password, false);
  actual.SetPassword(options.user_password, false);
  expected.Parse(input);
  actual.Parse(written);
  if (actual.Decryption() == nullptr) throw _kelvra_runtime_error("Verify:the output is not encrypted");
  PdfDocumentComparer::Compare(expected, actual);
}
