#include "crypt/pdfrevision6securityhandler.h"

#include "crypt/aescbc.h"
#include "crypt/pdfpermissions.h"
#include "crypt/pdfstandardsecurityhandler.h"
#include "crypt/saslprep.h"
#include "crypt/securerandom.h"
#include "crypt/sha2.h"
#include "base/kelvraruntimeerror.h"

namespace {

std::string RandomBytes(SecureRandom& random, size_t n) {
  std::string bytes(n, '\0');
  random.Draw(reinterpret_cast<uint8_t*>(&bytes[0]), n);
  return bytes;
}

const uint8_t* Bytes(std::string_view s) { return reinterpret_cast<const uint8_t*>(s.data()); }

// AES-256 without chaining state worth keeping: CBC from a zero IV over
// whole blocks (for one block, the same as ECB).
std::string EncryptWithZeroIv(std::string_view key, std::string_view data) {
  std::string out(data.size(), '\0');
  AesCbc(Bytes(key), key.size()).Encrypt(Bytes(data), reinterpret_cast<uint8_t*>(&out[0]), data.size());
  return out;
}

}  // namespace

// Algorithm 2.B.
SecretString PdfRevision6SecurityHandler::Hash(std::string_view password, std::string_view salt,
                                               std::string_view user_value) {
  const std::string_view pw = password.substr(0, kMaxPasswordBytes);
  // Step a: an initial SHA-256.
  SecretString k(pw);
  k.append(salt).append(user_value);
  k = Sha2::Digest(256, k);
  SecretString piece, k1, e;
  // Steps b-f: at least 64 rounds, then on until the last byte of E is no
  // more than the number of rounds done less 32.
  for (unsigned round = 1;; ++round) {
    // Step b: K1 is the password, K and the user value, 64 times over.
    piece.assign(pw).append(k).append(user_value);
    k1.clear();
    k1.reserve(piece.size() * 64);
    for (int i = 0; i < 64; ++i) k1 += piece;
    // Step c: AES-128-CBC with the first 16 bytes of K as key and the next
    // 16 as IV, no padding (K1 is a multiple of 64 bytes long).
    e.assign(k1.size(), '\0');
    AesCbc aes(Bytes(k), 16);
    aes.SetIv(Bytes(k) + 16);
    aes.Encrypt(Bytes(k1), reinterpret_cast<uint8_t*>(&e[0]), k1.size());
    // Steps d-e: the first 16 bytes of E as a number modulo 3 (the same as
    // the sum of the bytes modulo 3) choose SHA-256, -384 or -512.
    unsigned sum = 0;
    for (int i = 0; i < 16; ++i) sum += static_cast<uint8_t>(e[static_cast<size_t>(i)]);
    static const int kBits[3] = {256, 384, 512};
    k = Sha2::Digest(kBits[sum % 3], e);
    // Step f.
    if (round >= 64 && static_cast<uint8_t>(e.back()) <= round - 32) break;
  }
  k.resize(32);
  return k;
}

void PdfRevision6SecurityHandler::ComputeKeys(std::string_view user, std::string_view owner,
                                              const std::string& permissions, SecureRandom& random) {
  const SecretString owner_password =
      owner.empty() ? PdfStandardSecurityHandler::GenerateRandomString() : SecretString(owner);
  permissions_ = PdfPermissions::Value(permissions, GrantedBits());
  file_key_.assign(kKeyBytes, '\0');
  random.Draw(reinterpret_cast<uint8_t*>(&file_key_[0]), kKeyBytes);
  identifier_ = RandomBytes(random, 16);
  // Algorithm 8: U and UE from the user password and two 8-byte salts.
  const std::string user_validation_salt = RandomBytes(random, 8), user_key_salt = RandomBytes(random, 8);
  user_value_ = PasswordHash(user, user_validation_salt, "").Plain() + user_validation_salt + user_key_salt;
  user_key_ = EncryptWithZeroIv(PasswordHash(user, user_key_salt, ""), file_key_);
  // Algorithm 9: O and OE likewise from the owner password, with U.
  const std::string owner_validation_salt = RandomBytes(random, 8), owner_key_salt = RandomBytes(random, 8);
  owner_value_ =
      PasswordHash(owner_password, owner_validation_salt, user_value_).Plain() + owner_validation_salt + owner_key_salt;
  owner_key_ = EncryptWithZeroIv(PasswordHash(owner_password, owner_key_salt, user_value_), file_key_);
  // Algorithm 10: Perms, P as 8 bytes low byte first (the high four all
  // ones), "T" for encrypted metadata, "adb", four random bytes.
  std::string perms(16, '\0');
  for (int i = 0; i < 4; ++i)
    perms[static_cast<size_t>(i)] = static_cast<char>(static_cast<uint32_t>(permissions_) >> (8 * i));
  for (int i = 4; i < 8; ++i) perms[static_cast<size_t>(i)] = static_cast<char>(0xFF);
  perms.replace(8, 4, "Tadb");
  perms.replace(12, 4, RandomBytes(random, 4));
  perms_ = EncryptWithZeroIv(file_key_, perms);
}

void PdfRevision6SecurityHandler::ComputeKeys(std::string_view user, std::string_view owner,
                                              const std::string& permissions) {
  SecureRandom random;
  ComputeKeys(user, owner, permissions, random);
}

bool PdfRevision6SecurityHandler::PreparePassword(std::string_view utf8, bool stored, SecretString* out) const {
  return SaslPrep::Prepare(utf8, stored, out);
}

PdfSecurityHandler::Access PdfRevision6SecurityHandler::Authenticate(const EncryptValues& values,
                                                                     std::string_view password) {
  if (values.owner_value.size() < 48 || values.user_value.size() < 48 || values.owner_key.size() < kKeyBytes ||
      values.user_key.size() < kKeyBytes)
    throw _kelvra_runtime_error(errtext::kBadOU);
  const std::string_view pw = password.substr(0, kMaxPasswordBytes);
  const std::string u = values.user_value.substr(0, 48), o = values.owner_value.substr(0, 48);
  Access access = Access::kNone;
  SecretString intermediate;
  std::string wrapped;
  if (std::string_view(o).substr(0, 32) == PasswordHash(pw, o.substr(32, 8), u)) {
    access = Access::kOwner;
    intermediate = PasswordHash(pw, o.substr(40, 8), u);
    wrapped = values.owner_key.substr(0, kKeyBytes);
  } else if (std::string_view(u).substr(0, 32) == PasswordHash(pw, u.substr(32, 8), "")) {
    access = Access::kUser;
    intermediate = PasswordHash(pw, u.substr(40, 8), "");
    wrapped = values.user_key.substr(0, kKeyBytes);
  } else {
    return access;
  }
  file_key_.assign(kKeyBytes, '\0');
  AesCbc(Bytes(intermediate), kKeyBytes).Decrypt(Bytes(wrapped), reinterpret_cast<uint8_t*>(&file_key_[0]), kKeyBytes);
  user_value_ = u;
  owner_value_ = o;
  user_key_ = values.user_key.substr(0, kKeyBytes);
  owner_key_ = values.owner_key.substr(0, kKeyBytes);
  permissions_ = values.permissions;
  identifier_ = values.identifier;
  perms_ = values.perms;
  // Algorithm 13: /Perms under the file key holds P, "T" or "F" and "adb".
  SecretString perms(16, '\0');
  bool agrees = values.perms.size() >= 16;
  if (agrees) {
    AesCbc(Bytes(file_key_), kKeyBytes).Decrypt(Bytes(values.perms), reinterpret_cast<uint8_t*>(&perms[0]), 16);
    for (int i = 0; i < 4; ++i)
      agrees = agrees && static_cast<uint8_t>(perms[static_cast<size_t>(i)]) ==
                             static_cast<uint8_t>(static_cast<uint32_t>(values.permissions) >> (8 * i));
    agrees = agrees && perms.compare(9, 3, "adb") == 0 && perms[8] == (values.encrypt_metadata ? 'T' : 'F');
  }
  if (!agrees) warning_ = "/Perms does not match /P or /EncryptMetadata: the permissions may have been altered";
  return access;
}

std::string PdfRevision6SecurityHandler::EncryptDictionaryEntries() const {
  return "/CF << /StdCF << /AuthEvent /DocOpen /CFM /AESV3 /Length 32 >> >>\n/Filter /Standard\n/Length 256\n/O <" +
         Hex(owner_value_) + ">\n/OE <" + Hex(owner_key_) + ">\n/P " + std::to_string(permissions_) + "\n/Perms <" +
         Hex(perms_) + ">\n/R 6\n/StmF /StdCF\n/StrF /StdCF\n/U <" + Hex(user_value_) + ">\n/UE <" + Hex(user_key_) +
         ">\n/V 5\n";
}
