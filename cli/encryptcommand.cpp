#include <cstdio>

#include "cli/commands.h"

int RunEncrypt(const EncryptOptions&) {
  std::fprintf(stderr, "varnel: encrypt is not available yet\n");
  return 1;
}
