// varnel show: how each file is protected, as lines for people or as one
// JSON object per file.
#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/commands.h"
#include "varnel/varnel.h"

namespace {

// The rights in the order and the words of qpdf's --show-encryption, and
// their JSON keys.
std::vector<std::pair<const char*, bool>> Rights(const varnel::Permissions& g) {
  return {{"extract for accessibility", g.extract_for_accessibility},
          {"extract for any purpose", g.extract_for_any_purpose},
          {"print low resolution", g.print_low_resolution},
          {"print high resolution", g.print_high_resolution},
          {"modify document assembly", g.modify_document_assembly},
          {"modify forms", g.modify_forms},
          {"modify annotations", g.modify_annotations},
          {"modify other", g.modify_other},
          {"modify anything", g.modify_anything}};
}

std::string JsonKey(std::string words) {
  std::replace(words.begin(), words.end(), ' ', '_');
  return words;
}

nlohmann::json OrNull(const std::string& s) { return s.empty() ? nlohmann::json(nullptr) : nlohmann::json(s); }

// Null when unknown: an encrypted document not opened.
nlohmann::json Promises(const varnel::Protection& p) {
  if (!p.promises_known) return {{"signatures", nullptr}};
  nlohmann::json signatures = nlohmann::json::array();
  for (const varnel::Signature& s : p.signatures)
    signatures.push_back({{"field", s.field}, {"signed_at", OrNull(s.signed_at)}});
  return {{"signatures", signatures},
          {"certification", p.certification},
          {"usage_rights", p.usage_rights},
          {"pdfa", OrNull(p.pdfa)},
          {"pdfua", OrNull(p.pdfua)}};
}

nlohmann::json Json(const std::string& file, const varnel::Protection& p) {
  nlohmann::json j = {{"file", file}, {"encrypted", p.encrypted}, {"code", nullptr}};
  j.update(Promises(p));
  if (!p.encrypted) return j;
  // A recipient's rights are sealed in its envelope: known only to its key.
  const bool sealed = p.recipients != 0 && p.matched_recipient == 0;
  nlohmann::json rights = nlohmann::json::object();
  for (const auto& [words, allowed] : Rights(p.permissions)) rights[JsonKey(words)] = allowed;
  j.update({{"security_handler", p.security_handler},
            {"revision", p.revision},
            {"algorithm", p.algorithm},
            {"key_bits", p.key_bits},
            {"strings", p.strings},
            {"streams", p.streams},
            {"attachments", p.attachments},
            {"metadata_encrypted", p.metadata_encrypted},
            {"p", sealed ? nlohmann::json(nullptr) : nlohmann::json(p.permission_bits)},
            {"permissions", sealed ? nlohmann::json(nullptr) : rights},
            {"recipients", p.recipients},
            {"matched_recipient", p.matched_recipient != 0 ? nlohmann::json(p.matched_recipient) : nullptr},
            {"identity_subject", OrNull(p.identity_subject)},
            {"opened_with", OrNull(p.opened_with)},
            {"repaired", p.repaired},
            {"repair_note", OrNull(p.repair_note)},
            {"warning", OrNull(p.warning)}});
  return j;
}

void Print(const std::string& file, const varnel::Protection& p) {
  if (!p.encrypted) {
    std::printf("%s: not encrypted\n", file.c_str());
    ReportPromises(p);
    return;
  }
  std::printf("%s: encrypted\n  security handler: %s\n", file.c_str(), p.security_handler.c_str());
  // The public-key handler has no revision (/R).
  if (p.revision != 0)
    std::printf("  revision: %d (algorithm %d)\n", p.revision, p.algorithm);
  else
    std::printf("  algorithm: %d\n", p.algorithm);
  if (p.key_bits != 0) std::printf("  key length: %d bits\n", p.key_bits);
  std::printf("  strings: %s\n  streams: %s\n  attachments: %s\n  metadata: %s\n", p.strings.c_str(), p.streams.c_str(),
              p.attachments.c_str(), p.metadata_encrypted ? "encrypted" : "not encrypted");
  if (p.recipients != 0 && p.matched_recipient == 0) {
    // Each recipient's rights are sealed with its key: none are public.
    std::printf("  recipients: %lld, each with the rights sealed for it\n", static_cast<long long>(p.recipients));
  } else {
    if (p.matched_recipient != 0)
      std::printf("  recipients: %lld; the identity (%s) is recipient %lld, with these rights:\n",
                  static_cast<long long>(p.recipients), p.identity_subject.c_str(),
                  static_cast<long long>(p.matched_recipient));
    std::printf("  P = %d\n", static_cast<int>(p.permission_bits));
    for (const auto& [words, allowed] : Rights(p.permissions))
      std::printf("  %s: %s\n", words, allowed ? "allowed" : "not allowed");
  }
  if (!p.opened_with.empty()) std::printf("  the password given is the %s password\n", p.opened_with.c_str());
  if (p.repaired) std::printf("  needed repair: %s\n", p.repair_note.c_str());
  if (p.promises_known) ReportPromises(p);
}

}  // namespace

int RunShow(const std::vector<std::string>& files, const std::string* password, const IdentityOption& identity,
            bool json) {
  const std::optional<std::string> opening = password != nullptr ? std::optional<std::string>(*password) : std::nullopt;
  int failed = 0;
  bool plain = false;
  for (const std::string& path : files) {
    try {
      const varnel::Protection p = identity.path.empty()
                                       ? varnel::ShowFile(path, opening)
                                       : varnel::ShowFile(path, varnel::Identity{identity.path, {}, identity.password});
      plain = plain || !p.encrypted;
      ReportDecryptionWarning(p.warning, path);
      if (json)
        std::puts(Json(path, p).dump().c_str());
      else
        Print(path, p);
    } catch (const varnel::Error& e) {
      failed = std::max(failed, FailureStatus(e));
      if (json)
        std::puts(nlohmann::json({{"file", path},
                                  {"encrypted", nullptr},
                                  {"code", varnel::ErrorCodeName(e.code())},
                                  {"message", e.what()},
                                  {"detail", e.detail()}})
                      .dump()
                      .c_str());
      else
        std::fprintf(stderr, "varnel: %s\n", e.what());
    }
    std::fflush(stdout);
  }
  // A failure is never taken for "not encrypted".
  return failed != 0 ? failed : plain ? 2 : 0;
}
