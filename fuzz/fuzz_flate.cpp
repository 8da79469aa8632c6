// "/FlateDecode" on arbitrary bytes; checks the filter contract: the output
// never exceeds the limit and a failure leaves the data unchanged.
#include "fuzz/filtercontract.h"
#include "pdf/pdfdeflatestreamfilter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  filtercontract::Check(data, size,
                        [](std::vector<uint8_t>& d, size_t max_out) { PdfDeflateStreamFilter::Filter(d, max_out); });
  return 0;
}
