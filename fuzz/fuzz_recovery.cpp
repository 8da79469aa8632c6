// Repair of damaged files: any bytes (seeded with valid files, which the
// fuzzer damages) are rewritten with repair on. A rewrite that succeeds must
// read back as written, with no repair: a repair must never write a file
// that needs one. The encrypted rewrite must agree on success.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "writer/pdfencryptedfilewriter.h"
#include "fuzz/fuzzjob.h"
#include "fuzz/nullsink.h"
#include "base/kelvraruntimeerror.h"
#include "base/pdfmemorystream.h"
#include "writer/pdffilewriter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::ostringstream plain;
  {
    PdfMemoryStream in(data, size);
    PdfFileWriter writer;
    writer.SetRepair(true);
    try {
      writer.WriteDocument(in, plain);
    } catch (const _kelvra_runtime_error&) {
      return 0;  // refused with a library message: a correct outcome
    }
  }
  {
    PdfEncryptedFileWriter writer("u", "o", "PC", std::string(16, 'x'));
    writer.SetRepair(true);
    NullSink out;
    fuzzjob::MustRewrite(writer, data, size, out, "plain repair succeeded, encrypted repair failed");
  }
  if (plain.tellp() > static_cast<std::streamoff>(fuzzjob::kReadBackLimit)) return 0;
  const std::string copy = plain.str();
  PdfFileWriter reader;  // repair off
  NullSink out;
  fuzzjob::MustRewrite(reader, copy.data(), copy.size(), out, "the repaired document does not read back as written");
  return 0;
}
