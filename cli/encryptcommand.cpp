#include "cli/batchrunner.h"
#include "cli/commands.h"

int RunEncrypt(const std::vector<EncryptOptions>& files, const RunSettings& settings) {
  return BatchRunner(files, settings).Run();
}
