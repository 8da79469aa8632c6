#include <cstdio>

#include "cli/atomicoutputfile.h"
#include "cli/commands.h"
#include "crypt/pdfdocencoding.h"
#include "crypt/pdfencryptedfilewriter.h"
#include "pdf/pdfrepairreport.h"
#include "pdf/pdffilestream.h"

namespace {

// Passwords are typed as UTF-8; the handler takes PDFDocEncoding bytes, as
// readers do when they check a password of this revision.
bool ToPdfDoc(const char* which, const std::string& utf8, std::string* out) {
  if (PdfDocEncoding::FromUtf8(utf8, out)) {
    if (out->size() > 32) std::fprintf(stderr, "varnel: note: only the first 32 bytes of the %s password count\n", which);
    return true;
  }
  std::fprintf(stderr, "varnel: the %s password has a character that PDF passwords cannot hold (PDFDocEncoding)\n", which);
  return false;
}

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

int RunEncrypt(const EncryptOptions& options) {
  std::string user, owner;
  if (!ToPdfDoc("user", options.user_password, &user) || !ToPdfDoc("owner", options.owner_password, &owner)) return 2;
  PdfRepairReport report;
  try {
    AtomicOutputFile output(options.output);
    {
      PdfFileStream input;
      input.Abrir(options.input.c_str(), "rb");
      PdfEncryptedFileWriter writer(user, owner, options.permissions);
      writer.SetRepair(options.repair);
      writer.WriteDocument(input, output.stream());
      report = writer.RepairReport();
    }
    output.Commit();
  } catch (...) {
    std::fprintf(stderr, "varnel: %s: %s\n", options.input.c_str(), DescribeCurrentException().c_str());
    return 1;
  }
  if (report.repaired) std::fprintf(stderr, "varnel: %s: %s\n", options.input.c_str(), DescribeRepair(report).c_str());
  return 0;
}
