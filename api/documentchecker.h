#pragma once
#include <memory>
#include <optional>
#include <string>

#include "varnel/varnel.h"

class Identity;
class PdfStream;

// Reads a document the way the encryptor will: every cross-reference
// section, every object the document lists, every object stream decoded,
// every stream's data where the writer will copy it from. With a password,
// an encrypted document is opened with it and every string and stream
// decrypted. Library failures are thrown as the library throws them.
class DocumentChecker {
 public:
  // identity: opens a document encrypted for certificates instead.
  static varnel::CheckResult Check(PdfStream& input, const std::optional<std::string>& password,
                                   std::shared_ptr<const Identity> identity = nullptr);
};
