// The writer on damaged and hostile inputs: what it writes for them, and
// where it stops.
#include <gtest/gtest.h>

#include <string>

#include "pdf/kelvraruntimeerror.h"
#include "tests/pdfbuilder.h"

namespace {

using pdftest::Rewrite;
using pdftest::SimpleDocument;

TEST(HostileInput, EntriesWithoutValueAreWrittenAsNull) {
  // "/A ]" and "/B endobj" leave dictionary entries without a value; the
  // output must still be well-formed (this crashed the writer once).
  for (const std::string body : {"<< /A ] /C 1 >>", "<< /B endobj /C 1 >>"}) {
    PdfFileWriter w;
    const std::string out = Rewrite(w, SimpleDocument({body}));
    EXPECT_NE(out.find(" null "), std::string::npos) << body;
    EXPECT_NE(out.find("/C 1 "), std::string::npos) << body;
  }
}

TEST(HostileInput, StreamDataBeyondTheInputSize) {
  // Streams with a wrong /Length whose data is taken to run to the one
  // "endstream" at the end: each overlaps all that follows it.
  std::vector<std::string> bodies;
  for (int i = 0; i < 40; ++i) bodies.push_back("<< /Length 1 >>\nstream\n" + std::string(200, 'x'));
  bodies.back() += "\nendstream";
  PdfFileWriter w;
  std::string message;
  try {
    Rewrite(w, SimpleDocument(bodies));
  } catch (const _kelvra_runtime_error& e) {
    message = e.message;
  }
  EXPECT_EQ(message, "PdfFileWriter::WriteDictionary:stream data limit");

  // One such stream over a few small objects stays within the input's size
  // and is written with the length of the data actually copied.
  bodies.assign(3, "(small)");
  bodies[0] = "<< /Length 1 >>\nstream\nabc";
  bodies[2] = "(end)\nendstream";
  PdfFileWriter ok;
  EXPECT_NE(Rewrite(ok, SimpleDocument(bodies)).find("stream\nabc\nendobj"), std::string::npos);
}

}  // namespace
