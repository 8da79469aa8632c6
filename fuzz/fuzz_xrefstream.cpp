// Cross-reference stream entries with arbitrary "/W", "/Index" and "/Size":
// the first bytes choose the dictionary, the rest is the stream's data. The
// stream closes a small file with a catalog, a page tree and an object
// stream at fixed offsets (so entries can point at them), and the whole job
// runs on it (fuzzjob.h).
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzzjob.h"

namespace {

// A number from 4 bytes: small (0..65535) most of the time, any 32-bit value
// when the two top bits are set, which reaches the limits around 2^31.
uint64_t Number(const uint8_t* p) {
  const uint32_t raw = (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
  return (raw >> 30) == 3 ? raw : raw & 0xFFFF;
}

std::string Object(int number, const std::string& body) {
  return std::to_string(number) + " 0 obj\n" + body + "\nendobj\n";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Header: 3 width bytes, 1 flag byte, 4 bytes of /Size, 4 /Index pairs.
  constexpr size_t kHeader = 8 + 4 * 8;
  if (size < kHeader) return 0;
  const int widths[3] = {data[0] % 6, data[1] % 10, data[2] % 10};
  const uint8_t flags = data[3];
  const uint64_t size_entry = Number(data + 4);
  const int pairs = (flags >> 4) % 5;

  std::string dict = "<< /Type /XRef /Root 1 0 R /W [" + std::to_string(widths[0]) + " " + std::to_string(widths[1]) +
                     " " + std::to_string(widths[2]) + "]";
  if ((flags & 1) == 0) dict += " /Size " + std::to_string(size_entry);
  if ((flags & 2) == 0) {
    dict += " /Index [";
    for (int i = 0; i < pairs; ++i) {
      dict += " " + std::to_string(Number(data + 8 + 8 * i)) + " " + std::to_string(Number(data + 12 + 8 * i));
    }
    dict += " ]";
  }
  // PNG row prediction over the entries, as producers often write it.
  if (flags & 4)
    dict += " /DecodeParms << /Predictor 12 /Columns " + std::to_string(widths[0] + widths[1] + widths[2]) + " >>";
  const std::string entries(reinterpret_cast<const char*>(data + kHeader), size - kHeader);
  dict += " /Length " + std::to_string(entries.size()) + " >>";

  std::string file = "%PDF-1.5\n";
  file += Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  file += Object(2, "<< /Type /Pages /Kids [ 4 0 R ] /Count 1 >>");
  const std::string page = "<< /Type /Page /Parent 2 0 R /MediaBox [ 0 0 9 9 ] /Annots 5 0 R >> ";
  const std::string head = "4 0 5 " + std::to_string(page.size()) + " ";
  const std::string objstm = head + page + "[ (x) <41> /N 1 0 R ]";
  file += Object(3, "<< /Type /ObjStm /N 2 /First " + std::to_string(head.size()) + " /Length " +
                        std::to_string(objstm.size()) + " >>\nstream\n" + objstm + "\nendstream");
  const size_t xref_at = file.size();
  file += Object(6, dict + "\nstream\n" + entries + "\nendstream");
  file += "startxref\n" + std::to_string(xref_at) + "\n%%EOF\n";
  fuzzjob::RunWholeJob(reinterpret_cast<const uint8_t*>(file.data()), file.size());
  return 0;
}
