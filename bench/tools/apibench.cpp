// The library's own time for a call on a document held in memory: the
// median and the least of COUNT calls of varnel::EncryptBuffer (after as
// many calls again to warm up), in microseconds, with the passwords "u" and
// "o". bench/python_bench.py sets the Python module's
// calls against it to find what the binding adds.
//
// Usage: varnel_apibench INPUT aes-256|aes-128|rc4-128 COUNT
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "varnel/varnel.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s INPUT aes-256|aes-128|rc4-128 COUNT\n", argv[0]);
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  const std::string pdf((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  varnel::EncryptOptions options;
  options.user_password = "u";
  options.owner_password = "o";
  const std::string cipher = argv[2];
  options.cipher = cipher == "rc4-128"   ? varnel::Cipher::kRc4_128
                   : cipher == "aes-128" ? varnel::Cipher::kAes128
                                         : varnel::Cipher::kAes256;
  std::vector<double> micros(static_cast<size_t>(std::max(1, std::atoi(argv[3]))));
  for (size_t i = 0; i < micros.size(); ++i) varnel::EncryptBuffer(pdf, options);  // warm-up
  for (double& each : micros) {
    const auto start = std::chrono::steady_clock::now();
    const std::string out = varnel::EncryptBuffer(pdf, options);
    each = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
  }
  std::nth_element(micros.begin(), micros.begin() + micros.size() / 2, micros.end());
  std::printf("%.1f %.1f\n", micros[micros.size() / 2], *std::min_element(micros.begin(), micros.end()));
  return 0;
}
