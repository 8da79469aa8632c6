#include "pdf/xref.h"

#include <algorithm>

#include "base/kelvraruntimeerror.h"
#include "pdf/pdfparser.h"
#include "base/pdfstream.h"

XRef::XRef() = default;
XRef::~XRef() = default;

namespace {
// Decimal digits of a fixed-width field; blanks before the digits are allowed.
bool ParseField(const char* p, size_t n, uint64_t* value) {
  uint64_t v = 0;
  size_t i = 0;
  while (i < n && p[i] == ' ') ++i;
  if (i == n) return false;
  for (; i < n; ++i) {
    if (p[i] < '0' || p[i] > '9') return false;
    v = v * 10 + static_cast<uint64_t>(p[i] - '0');
  }
  *value = v;
  return true;
}
}  // namespace

void XRef::Read(PdfStream& s) {
  // Reserve no more than the entries can be, however large `count` claims.
  entries.reserve(static_cast<size_t>(std::min<int64_t>(count, 1 << 16)));
  char row[18];
  for (int64_t i = 0; i < count; ++i) {
    s.Leer(row, sizeof row);
    uint64_t offset = 0, generation = 0;
    if (!ParseField(row, 10, &offset) || row[10] != ' ' || !ParseField(row + 11, 5, &generation) || row[16] != ' ' ||
        (row[17] != 'n' && row[17] != 'f')) {
      throw _kelvra_runtime_error(errtext::kXRefEntry);
    }
    XRefEntry e;
    e.number = first + i;
    e.location = offset;
    e.generation = static_cast<uint32_t>(generation);
    e.type = row[17] == 'n' ? XRefEntry::kInUse : XRefEntry::kFree;
    entries.push_back(e);
    // The end of line: any run of white space before the next row or keyword.
    for (;;) {
      const int c = s.GetByte();
      if (c < 0) break;
      if (!PdfParser::IsWhitespace(c)) {
        s.StepBack();
        break;
      }
    }
  }
}

bool XRef::Find(int64_t number, uint32_t generation, uint64_t* location, int32_t* index) const {
  for (const XRefEntry& e : entries) {
    if (e.number == number && e.type != XRefEntry::kFree && e.generation == generation) {
      *location = e.location;
      if (e.type == XRefEntry::kCompressed) *index = e.index;
      return true;
    }
  }
  return false;
}

bool XRef::GetEntry(size_t i, int64_t* number, uint32_t* generation, uint64_t* location, int32_t* index,
                    bool* free) const {
  if (i >= entries.size()) return false;
  const XRefEntry& e = entries[i];
  *number = e.number;
  *generation = e.generation;
  *location = e.location;
  *index = e.type == XRefEntry::kCompressed ? e.index : -1;
  if (e.type == XRefEntry::kFree) *free = true;
  return true;
}
