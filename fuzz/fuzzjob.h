#pragma once
// The whole job as the tool runs it, shared by the document-level targets:
// bytes in, encrypted document out. A rewrite that succeeds must produce a
// document that reads back: the same input is also written without
// encryption and that copy is rewritten again, which must succeed as well.
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "writer/pdfencryptedfilewriter.h"
#include "fuzz/nullsink.h"
#include "base/kelvraruntimeerror.h"
#include "base/pdfmemorystream.h"
#include "writer/pdffilewriter.h"

namespace fuzzjob {

// Larger rewrites are not read back, to keep each run fast.
constexpr size_t kReadBackLimit = size_t{1} << 20;

// Rewrites data with writer into out; a failure is a fault: prints
// "<what>: <message>" and aborts.
inline void MustRewrite(PdfFileWriter& writer, const void* data, size_t size, std::ostream& out, const char* what) {
  PdfMemoryStream in(data, size);
  try {
    writer.WriteDocument(in, out);
  } catch (const _kelvra_runtime_error& e) {
    std::fprintf(stderr, "%s: %s\n", what, e.message.c_str());
    std::abort();
  }
}

inline void RunWholeJob(const uint8_t* data, size_t size) {
  {
    PdfMemoryStream in(data, size);
    PdfEncryptedFileWriter writer("u", "o", "PC", std::string(16, 'x'));
    NullSink out;
    try {
      writer.WriteDocument(in, out);
    } catch (const _kelvra_runtime_error&) {
      return;  // refused with a library message: a correct outcome
    }
  }
  if (size > kReadBackLimit) return;
  std::ostringstream plain;
  {
    PdfFileWriter writer;
    MustRewrite(writer, data, size, plain, "encrypted rewrite succeeded, plain rewrite failed");
  }
  const std::string copy = plain.str();
  PdfFileWriter reader;
  NullSink out;
  MustRewrite(reader, copy.data(), copy.size(), out, "the rewritten document does not read back");
}

}  // namespace fuzzjob
