#pragma once
#include <string>

#include "pdf/pdfpromises.h"
#include "varnel/varnel.h"

class PdfFileParser;
struct PdfRepairReport;

// The line that tells what a repair did: "repaired: ..." (what was rebuilt,
// what was dropped, and why the file could not be read as written).
std::string DescribeRepair(const PdfRepairReport& report);

// What reading a document noted, into result: whether it needed repair and
// what the repair did, and what opening it let pass with a doubt.
void NoteParse(const PdfFileParser& parser, varnel::Result* result);

// What a copy of the document named name breaks of what it promised, into
// result->notice: its signatures (any rewrite invalidates them) and, when
// the copy is encrypted, a PDF/A or PDF/UA claim.
void NotePromises(const PdfPromises& promises, const std::string& name, bool encrypted_copy, varnel::Result* result);

// What the document promises, into a CheckResult or a Protection.
void TellPromises(const PdfPromises& promises, varnel::Promises* told);
