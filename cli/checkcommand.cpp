#include <algorithm>
#include <cstdio>
#include <vector>

#include "cli/commands.h"
#include "pdf/kelvraruntimeerror.h"
#include "pdf/pdfdiccionario.h"
#include "pdf/pdffileparser.h"
#include "pdf/pdffilestream.h"

namespace {

struct CheckCounts {
  std::string repair;  // what a repair did, empty when none was needed
  size_t objects = 0;
  size_t compressed = 0;
  size_t sections = 0;
};

CheckCounts CheckFile(const std::string& path, const std::string* password) {
  PdfFileStream input;
  input.Abrir(path.c_str(), "rb");
  PdfFileParser parser;
  parser.SetRepair(true);
  if (password != nullptr) parser.SetPassword(*password, false);
  parser.Parse(input);
  ReportDecryptionWarning(parser, path);
  std::vector<uint8_t> data;
  CheckCounts counts;
  counts.sections = parser.SectionCount();
  for (const XRefEntry* e : parser.DocumentObjects()) {
    // Each object's values are let go once checked, as the writer does, so
    // memory stays flat however many objects the document has.
    const size_t mark = parser.ValueMark();
    PdfValue* v = nullptr;
    try {
      v = parser.DameObjeto(e->number, e->generation);
    } catch (const _kelvra_runtime_error& failure) {
      // Left out by the encryptor too, when the file needs repair.
      if (!parser.LeaveOut(e->number, failure.message)) throw;
      parser.ReleaseValuesFrom(mark);
      continue;
    }
    if (e->type == XRefEntry::kCompressed) {
      ++counts.compressed;
    } else if (v != nullptr && v->kind() == PdfValue::Kind::Dictionary && static_cast<PdfDiccionario*>(v)->IsStream()) {
      // The data must be where the writer will copy it from.
      int64_t offset = 0, length = 0;
      auto* d = static_cast<PdfDiccionario*>(v);
      parser.StreamExtent(d, "/OffsetStream no /Length", &offset, &length);
      parser.ReadDecryptedStream(d, offset, length, &data);
    }
    ++counts.objects;
    parser.ReleaseValuesFrom(mark);
  }
  if (parser.RepairReport().repaired) counts.repair = "; needed repair, " + DescribeRepair(parser.RepairReport());
  return counts;
}

}  // namespace

int RunCheck(const std::vector<std::string>& files, const std::string* password) {
  int status = 0;
  for (const std::string& path : files) {
    try {
      const CheckCounts c = CheckFile(path, password);
      std::printf("%s: ok (%zu objects, %zu in object streams, %zu cross-reference sections)%s\n", path.c_str(), c.objects,
                  c.compressed, c.sections, c.repair.c_str());
    } catch (...) {
      const std::string message = DescribeCurrentException();
      std::printf("%s: %s\n", path.c_str(), message.c_str());
      status = std::max(status, message == "Wrong password" ? 3 : 1);
    }
    std::fflush(stdout);
  }
  return status;
}
