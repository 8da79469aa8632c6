// "/LZWDecode" on arbitrary bytes, under the filter contract.
#include "fuzz/filtercontract.h"
#include "pdf/pdflzwdecodestreamfilter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  filtercontract::Check(data, size, [](std::vector<uint8_t>& d, size_t max_out) {
    PdfLZWDecodeStreamFilter lzw;
    lzw.Filter(d, max_out);
  });
  return 0;
}
