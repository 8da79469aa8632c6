#pragma once
// The contract every decode step shares, checked on each fuzz input: on
// success the output is at most max_out bytes; on failure the library error
// is thrown and the data is left exactly as it was.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "base/kelvraruntimeerror.h"

namespace filtercontract {

// Small enough that bombs hit it quickly, large enough for real data.
constexpr size_t kMaxOut = size_t{1} << 20;

template <class Decode>
void Check(const uint8_t* data, size_t size, Decode decode, size_t max_out = kMaxOut) {
  const std::vector<uint8_t> original(data, data + size);
  std::vector<uint8_t> d = original;
  try {
    decode(d, max_out);
  } catch (const _kelvra_runtime_error&) {
    if (d != original) {
      std::fprintf(stderr, "a failed decode changed its input\n");
      std::abort();
    }
    return;
  }
  if (d.size() > max_out) {
    std::fprintf(stderr, "decoded %zu bytes, more than the limit %zu\n", d.size(), max_out);
    std::abort();
  }
}

}  // namespace filtercontract
