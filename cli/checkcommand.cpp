#include <algorithm>
#include <cstdio>
#include <optional>

#include "cli/commands.h"
#include "varnel/varnel.h"

int RunCheck(const std::vector<std::string>& files, const std::string* password) {
  int status = 0;
  const std::optional<std::string> opening = password != nullptr ? std::optional<std::string>(*password) : std::nullopt;
  for (const std::string& path : files) {
    try {
      const varnel::CheckResult c = varnel::CheckFile(path, opening);
      ReportDecryptionWarning(c.warning, path);
      const std::string repair = c.repaired ? "; needed repair, " + c.repair_note : "";
      std::printf("%s: ok (%lld objects, %lld in object streams, %lld cross-reference sections)%s\n", path.c_str(),
                  static_cast<long long>(c.objects), static_cast<long long>(c.compressed_objects),
                  static_cast<long long>(c.sections), repair.c_str());
    } catch (const varnel::Error& e) {
      std::printf("%s: %s\n", path.c_str(), e.what());
      status = std::max(status, FailureStatus(e));
    }
    std::fflush(stdout);
  }
  return status;
}
