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

// Reads what was written back with the new user password and compares
// every object with the input's (the writer's own reading of it, with the
// digests it recorded). The owner password must open the same file key
// with owner rights.
void VerifyEncryptedCopy(const EncryptOptions& options, PdfFileParser& input, PdfDocumentComparer::Known* written_forms,
                         const std::string& written_path) {
  // Read twice, so that two threads share the objects.
  PdfFileStream written[2];
  PdfFileParser actual[2];
  for (int i = 0; i < 2; ++i) {
    written[i].Abrir(written_path.c_str(), "rb");
    actual[i].SetPassword(options.user_password, false);
    actual[i].Parse(written[i]);
  }
  if (actual[0].Decryption() == nullptr) throw _kelvra_runtime_error("Verify:the output is not encrypted");
  if (!options.owner_password.empty()) {
    const std::unique_ptr<PdfDecryption> owner = actual[0].OpenWith(options.owner_password);
    const PdfSecurityHandler& user = actual[0].Decryption()->Handler();
    if (owner->GetAccess() != PdfSecurityHandler::Access::kOwner ||
        owner->Handler().ObjectKeyFor(1, 0, user.DataCipher()) != user.ObjectKeyFor(1, 0, user.DataCipher()))
      throw _kelvra_runtime_error("Verify:the owner password does not open the output as owner");
  }
  PdfDocumentComparer::Compare(input, actual[0], written_forms, &actual[1]);
}
