#pragma once
#include <memory>
#include <vector>

#include "crypt/identity.h"
#include "crypt/recipientcertificate.h"
#include "varnel/varnel.h"

// The certificates and identities callers name by path or give as bytes,
// read into the crypto library's keys. Files are read whole, up to a size
// no certificate or key file comes near.
class KeyMaterial {
 public:
  // Throws "Identity:unreadable" (also for a file that cannot be read).
  static std::shared_ptr<const Identity> Load(const varnel::Identity& identity);
  // Every certificate of each file (or bytes), in order. Unless any, a
  // certificate that cannot take a file key throws
  // "RecipientCertificate:unusable:" with its name and why.
  static std::vector<RecipientCertificate> Load(const std::vector<varnel::Certificate>& certificates, bool any);
};
