#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "crypt/secretstring.h"

class Identity;
class RecipientCertificate;

// A CMS EnvelopedData (RFC 5652) in DER: content encrypted with AES-256-CBC
// under a fresh key, and that key sealed for each recipient's certificate
// (RSA PKCS#1 v1.5 key transport, the recipient named by issuer and serial
// number). Opening reads what other writers use as well: RSA-OAEP, and key
// agreement for EC keys, as the platform's CMS reads them.
class CmsEnvelope {
 public:
  // Throws "CmsEnvelope:seal" when a certificate cannot take the key.
  static std::string Seal(std::string_view content, const std::vector<const RecipientCertificate*>& recipients);

  struct Opened {
    bool opened = false;
    size_t recipient = 0;  // which RecipientInfo (0-based) the identity matched
    SecretString content;
  };
  // The content, when one of the envelope's recipients is the identity (by
  // issuer and serial number; else each is tried with the key). Throws
  // "CmsEnvelope:malformed" for bytes that are no enveloped data.
  static Opened Open(std::string_view der, const Identity& identity);
  // Whether one of the envelope's recipients is the identity by issuer and
  // serial number (key transport or key agreement), found without using the
  // key; throws as Open does.
  static bool Names(std::string_view der, const Identity& identity);
  // How many recipients the envelope names; throws as Open does.
  static size_t Recipients(std::string_view der);
};
