#include "api/parsenotes.h"

#include <vector>

#include "pdf/pdfdecryption.h"
#include "pdf/pdffileparser.h"
#include "pdf/pdfpromises.h"
#include "pdf/pdfrepairreport.h"

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
  text += report.dropped_count != 0 ? " dropped " + JoinNotes(report.dropped, report.dropped_count) + ";"
                                    : " nothing dropped;";
  if (!report.reason.empty()) text += " read as written it failed: " + report.reason;
  if (text.back() == ';') text.pop_back();
  return text;
}

void NoteParse(const PdfFileParser& parser, varnel::Result* result) {
  result->repaired = parser.RepairReport().repaired;
  if (result->repaired) result->repair_note = DescribeRepair(parser.RepairReport());
  if (parser.Decryption() != nullptr) result->warning = parser.Decryption()->Handler().Warning();
}

void NotePromises(const PdfPromises& promises, const std::string& name, bool encrypted_copy, varnel::Result* result) {
  std::string& notice = result->notice;
  if (promises.Signed())
    notice += name + ": the copy invalidates what was signed (" + promises.BrokenByRewriting() + ")\n";
  if (!encrypted_copy) return;
  if (!promises.pdfa.empty())
    notice += name + " declares " + promises.pdfa + "; an encrypted copy is no longer PDF/A\n";
  if (!promises.pdfua.empty())
    notice += name + " declares " + promises.pdfua +
              "; an encrypted copy stays PDF/UA only while it lets assistive technology extract its text\n";
}

void TellPromises(const PdfPromises& promises, varnel::Promises* told) {
  for (const PdfPromises::Signature& s : promises.signatures) told->signatures.push_back({s.field, s.date});
  told->certification = promises.certification;
  told->usage_rights = promises.usage_rights;
  told->pdfa = promises.pdfa;
  told->pdfua = promises.pdfua;
}
