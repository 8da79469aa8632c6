#include <algorithm>
#include <cstdio>
#include <optional>

#include "cli/commands.h"
#include "varnel/varnel.h"

void ReportPromises(const varnel::Promises& c) {
  static const char* const kLevels[] = {"", "no changes allowed", "form filling and signing allowed",
                                        "form filling, signing and annotations allowed"};
  for (const varnel::Signature& s : c.signatures)
    std::printf("  signature: %s%s\n", s.field.empty() ? "(unnamed field)" : s.field.c_str(),
                s.signed_at.empty() ? "" : (", signed " + s.signed_at).c_str());
  if (c.certification >= 1 && c.certification <= 3) std::printf("  certified: %s\n", kLevels[c.certification]);
  if (c.usage_rights) std::printf("  usage rights granted\n");
  for (const std::string* claim : {&c.pdfa, &c.pdfua})
    if (!claim->empty()) std::printf("  declares %s\n", claim->c_str());
}

int RunCheck(const std::vector<std::string>& files, const std::string* password, const IdentityOption& identity) {
  int status = 0;
  const std::optional<std::string> opening = password != nullptr ? std::optional<std::string>(*password) : std::nullopt;
  for (const std::string& path : files) {
    try {
      const varnel::CheckResult c =
          identity.path.empty() ? varnel::CheckFile(path, opening)
                                : varnel::CheckFile(path, varnel::Identity{identity.path, {}, identity.password});
      ReportDecryptionWarning(c.warning, path);
      const std::string repair = c.repaired ? "; needed repair, " + c.repair_note : "";
      std::printf("%s: ok (%lld objects, %lld in object streams, %lld cross-reference sections)%s\n", path.c_str(),
                  static_cast<long long>(c.objects), static_cast<long long>(c.compressed_objects),
                  static_cast<long long>(c.sections), repair.c_str());
      if (c.recipients != 0)
        std::printf("  public-key security handler: %lld recipient%s; the identity (%s) is recipient %lld\n",
                    static_cast<long long>(c.recipients), c.recipients == 1 ? "" : "s", c.identity_subject.c_str(),
                    static_cast<long long>(c.matched_recipient));
      ReportPromises(c);
    } catch (const varnel::Error& e) {
      std::printf("%s: %s\n", path.c_str(), e.what());
      status = std::max(status, FailureStatus(e));
    }
    std::fflush(stdout);
  }
  return status;
}
