// "/ASCII85Decode" on arbitrary bytes, under the filter contract.
#include "fuzz/filtercontract.h"
#include "pdf/pdfascii85decodestreamfilter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  filtercontract::Check(
      data, size, [](std::vector<uint8_t>& d, size_t max_out) { PdfASCII85DecodeStreamFilter::Filter(d, max_out); });
  return 0;
}
