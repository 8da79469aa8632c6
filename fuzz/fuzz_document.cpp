// The whole job on arbitrary bytes: read, rewrite with encryption, and check
// that whatever is written reads back (fuzzjob.h).
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzzjob.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzjob::RunWholeJob(data, size);
  return 0;
}
