#pragma once
#include <string_view>

#include "crypt/secretstring.h"

// SASLprep (RFC 4013, the stringprep profile for user names and passwords):
// what AES-256 documents hash as the password. Maps non-ASCII spaces to a
// space and removes characters commonly mapped to nothing, normalises to
// NFKC, and refuses prohibited characters (controls, private use,
// non-characters, surrogates, ...) and bidirectional text that breaks the
// profile's rules. The work is the platform's (ICU on Linux, the Windows
// normalisation API on Windows).
class SaslPrep {
 public:
  // Prepares UTF-8 text. stored: a password being set (unassigned code
  // points refused, as for stored strings) rather than one being checked
  // (unassigned code points allowed, as for queries). Returns false, with
  // out untouched, when the text is not valid UTF-8 or the profile refuses it.
  static bool Prepare(std::string_view utf8, bool stored, SecretString* out);
};
