// The floor for big-streams: reads a file in 1 MiB chunks (the encryptor's
// copy chunk), runs RC4 over every byte and writes the result. The encryptor cannot do less work per
// byte of stream data, so its time on inputs made of large streams is
// compared with this one's.
//
// Usage: varnel_rc4copy INPUT OUTPUT
#include <cstdio>
#include <vector>

#include "crypt/rc4.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s INPUT OUTPUT\n", argv[0]);
    return 2;
  }
  std::FILE* in = std::fopen(argv[1], "rb");
  std::FILE* out = std::fopen(argv[2], "wb");
  if (in == nullptr || out == nullptr) {
    std::fprintf(stderr, "cannot open files\n");
    return 2;
  }
  const uint8_t key[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  Rc4 cipher(key, sizeof key);
  std::vector<uint8_t> chunk(size_t{1} << 20);
  size_t n;
  while ((n = std::fread(chunk.data(), 1, chunk.size(), in)) > 0) {
    cipher.Crypt(chunk.data(), n);
    if (std::fwrite(chunk.data(), 1, n, out) != n) return 1;
  }
  std::fclose(in);
  return std::fclose(out) == 0 ? 0 : 1;
}
