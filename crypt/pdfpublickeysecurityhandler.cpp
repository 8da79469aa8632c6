#include "crypt/pdfpublickeysecurityhandler.h"

#include <map>

#include "base/kelvraruntimeerror.h"
#include "crypt/cmsenvelope.h"
#include "crypt/identity.h"
#include "crypt/securerandom.h"
#include "crypt/sha2.h"

PdfPublicKeySecurityHandler::PdfPublicKeySecurityHandler(int version, bool encrypt_metadata, size_t key_bytes)
    : version_(version), encrypt_metadata_(encrypt_metadata), key_bytes_(version == 4 ? 16 : key_bytes) {}

PdfPublicKeySecurityHandler::~PdfPublicKeySecurityHandler() = default;

void PdfPublicKeySecurityHandler::ComputeKeys(std::string_view, std::string_view, const std::string&) {
  throw _kelvra_runtime_error(errtext::kPublicKeyNoPasswords);
}

void PdfPublicKeySecurityHandler::Seal(const std::vector<Recipient>& recipients) {
  SecretString seed(kSeedBytes, '\0');
  SecureRandom::Fill(reinterpret_cast<uint8_t*>(&seed[0]), seed.size());
  identifier_.assign(16, '\0');
  SecureRandom::Fill(reinterpret_cast<uint8_t*>(&identifier_[0]), identifier_.size());
  // One envelope per set of permissions, in the order each set first comes.
  std::vector<std::pair<int32_t, std::vector<const RecipientCertificate*>>> groups;
  for (const Recipient& r : recipients) {
    auto it = groups.begin();
    while (it != groups.end() && it->first != r.permissions) ++it;
    if (it == groups.end()) it = groups.insert(groups.end(), {r.permissions, {}});
    it->second.push_back(r.certificate);
  }
  envelopes_.clear();
  for (const auto& [permissions, certificates] : groups) {
    // The permissions follow the seed most significant byte first.
    SecretString content = seed;
    for (int shift = 24; shift >= 0; shift -= 8)
      content.push_back(static_cast<char>(static_cast<uint32_t>(permissions) >> shift));
    envelopes_.push_back(CmsEnvelope::Seal(content, certificates));
  }
  recipient_count_ = recipients.size();
  DeriveFileKey(seed);
}

void PdfPublicKeySecurityHandler::Open(const std::vector<std::string>& envelopes, const Identity& identity) {
  envelopes_ = envelopes;
  recipient_count_ = 0;
  matched_ = 0;
  // The envelopes that name the identity first: finding them costs no
  // private-key work. When none does (a writer that names recipients some
  // other way), the key is tried on a few only. A recipient is named once
  // in a sound file, so a few named envelopes are tried too: a file of
  // thousands of envelopes cannot make opening it take minutes.
  constexpr size_t kNamedTried = 8, kUnnamedTried = 16;
  std::vector<size_t> first_recipient, named, unnamed;
  for (size_t i = 0; i < envelopes_.size(); ++i) {
    first_recipient.push_back(recipient_count_);
    recipient_count_ += CmsEnvelope::Recipients(envelopes_[i]);
    (CmsEnvelope::Names(envelopes_[i], identity) ? named : unnamed).push_back(i);
  }
  if (named.size() > kNamedTried) named.resize(kNamedTried);
  if (named.empty() && unnamed.size() > kUnnamedTried) unnamed.resize(kUnnamedTried);
  CmsEnvelope::Opened found;
  for (const std::vector<size_t>* tried : {&named, &unnamed}) {
    for (size_t i : *tried) {
      if (found.opened) break;
      found = CmsEnvelope::Open(envelopes_[i], identity);
      if (found.opened) matched_ = first_recipient[i] + found.recipient + 1;
    }
    if (found.opened || !named.empty()) break;
  }
  if (!found.opened) throw _kelvra_runtime_error(errtext::kNotARecipient);
  if (found.content.size() != kSeedBytes + 4) throw _kelvra_runtime_error(errtext::kSeedLength);
  uint32_t p = 0;
  for (size_t i = kSeedBytes; i < kSeedBytes + 4; ++i) p = (p << 8) | static_cast<uint8_t>(found.content[i]);
  permissions_ = static_cast<int32_t>(p);
  DeriveFileKey(SecretString(found.content.substr(0, kSeedBytes)));
}

void PdfPublicKeySecurityHandler::DeriveFileKey(const SecretString& seed) {
  SecretString input = seed;
  for (const std::string& envelope : envelopes_) input.append(envelope);
  if (!encrypt_metadata_ && version_ >= 4) input.append(4, '\xFF');
  file_key_ = version_ == 5 ? Sha2::Digest(256, input) : SecretString(Sha2::Digest(160, input).substr(0, key_bytes_));
  rc4_keys_.SetFileKey(file_key_);
}

SecretString PdfPublicKeySecurityHandler::ObjectKeyFor(int64_t number, int64_t generation, Cipher cipher) const {
  if (version_ == 5) return file_key_;
  return Md5ObjectKey(file_key_, number, generation, cipher == Cipher::kAes);
}

std::unique_ptr<PdfObjectCipher> PdfPublicKeySecurityHandler::NewCipher(Cipher method) const {
  if (method == Cipher::kRc4) return rc4_keys_.NewCipher(Cipher::kRc4);
  return PdfSecurityHandler::NewCipher(method);
}

SecretString PdfPublicKeySecurityHandler::ObjectKeyBytes(int64_t number, int64_t generation) const {
  return ObjectKeyFor(number, generation, DataCipher());
}

std::string PdfPublicKeySecurityHandler::EncryptDictionaryEntries() const {
  std::string recipients;
  for (const std::string& envelope : envelopes_) recipients += (recipients.empty() ? "<" : " <") + Hex(envelope) + ">";
  const char* bits = version_ == 5 ? "256" : "128";
  return std::string("/CF << /DefaultCryptFilter << /AuthEvent /DocOpen /CFM ") +
         (version_ == 5 ? "/AESV3" : "/AESV2") + " /Length " + bits + " /Recipients [" + recipients + "]" +
         (encrypt_metadata_ ? "" : " /EncryptMetadata false") + " >> >>\n" +
         (encrypt_metadata_ ? "" : "/EncryptMetadata false\n") + "/Filter /Adobe.PubSec\n/Length " + bits +
         "\n/StmF /DefaultCryptFilter\n/StrF /DefaultCryptFilter\n/SubFilter /adbe.pkcs7.s5\n/V " +
         std::to_string(version_) + "\n";
}
