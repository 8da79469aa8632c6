#include "crypt/pdfstandardsecurityhandler.h"

#include <algorithm>
#include <cstring>

#include "crypt/md5.h"
#include "crypt/pdfdocencoding.h"
#include "crypt/pdfpermissions.h"
#include "crypt/rc4objectcipher.h"
#include "crypt/rc4.h"
#include "crypt/securerandom.h"
#include "base/kelvraruntimeerror.h"

namespace {

// The padding string of the Standard security handler.
const uint8_t kPadding[32] = {0x28, 0xBF, 0x4E, 0x5E, 0x4E, 0x75, 0x8A, 0x41, 0x64, 0x00, 0x4E,
                              0x56, 0xFF, 0xFA, 0x01, 0x08, 0x2E, 0x2E, 0x00, 0xB6, 0xD0, 0x68,
                              0x3E, 0x80, 0x2F, 0x0C, 0xA9, 0xFE, 0x64, 0x53, 0x69, 0x7A};

const ErrorCatalogue::Entry& kRandomError = errtext::kRandomString;
template <typename Bytes_>
uint8_t* Bytes(Bytes_& s) {
  return reinterpret_cast<uint8_t*>(&s[0]);
}

}  // namespace

PdfStandardSecurityHandler::PdfStandardSecurityHandler() = default;

PdfStandardSecurityHandler::~PdfStandardSecurityHandler() = default;

void PdfStandardSecurityHandler::ComputeKeys(std::string_view user, std::string_view owner,
                                             const std::string& permissions) {
  ComputeKeys(user, owner, permissions, std::string());
}

void PdfStandardSecurityHandler::ComputeKeys(std::string_view user, std::string_view owner,
                                             const std::string& permissions, const std::string& fixed_identifier) {
  if (!fixed_identifier.empty() && fixed_identifier.size() != kKeyBytes)
    throw _kelvra_runtime_error(errtext::kIdentifierLength);
  // Without an owner password nobody can hold owner rights: O is made from
  // random letters that are kept nowhere.
  const SecretString owner_password = owner.empty() ? GenerateRandomString() : SecretString(owner);
  const int32_t p = PdfPermissions::Value(permissions, GrantedBits());
  const SecretString padded_user = PadPassword(user), padded_owner = PadPassword(owner_password);
  const std::string owner_value = ComputeOwnerValue(padded_user, padded_owner);
  const std::string identifier = fixed_identifier.empty() ? GenerateRandomString().Plain() : fixed_identifier;
  ComputeFileKey(identifier, padded_user, owner_value, p);
  ComputeUserValue();
}

SecretString PdfStandardSecurityHandler::GenerateRandomString() {
  // Rejection sampling: only bytes below 250 (10 * 25) are used, so each of
  // the 25 letters is equally likely. About 2% of bytes are rejected; the
  // bound on refills only guards against a broken source.
  SecretString letters;
  letters.reserve(kKeyBytes);
  for (int refill = 0; refill < 64 && letters.size() < kKeyBytes; ++refill) {
    uint8_t buf[32];
    SecureRandom::Fill(buf, sizeof buf);
    for (uint8_t b : buf)
      if (b < 250 && letters.size() < kKeyBytes) letters.push_back(static_cast<char>('A' + b % 25));
    WipeBytes(buf, sizeof buf);
  }
  if (letters.size() != kKeyBytes) throw _kelvra_runtime_error(kRandomError);
  return letters;
}

SecretString PdfStandardSecurityHandler::PadPassword(std::string_view password) {
  SecretString padded;
  padded.reserve(kValueBytes);
  padded.append(password.substr(0, kValueBytes));
  padded.append(reinterpret_cast<const char*>(kPadding), kValueBytes - padded.size());
  return padded;
}

// Algorithm 3: the owner value O (revision 3).
std::string PdfStandardSecurityHandler::ComputeOwnerValue(std::string_view padded_user, std::string_view padded_owner) {
  // Steps a-b: MD5 of the padded owner password.
  uint8_t digest[Md5::kDigestSize];
  Md5::Digest(padded_owner.data(), padded_owner.size(), digest);
  // Step c: 50 more rounds of MD5 over the whole digest.
  for (int round = 0; round < 50; ++round) Md5::Digest(digest, sizeof digest, digest);
  // Steps d-f: RC4 over the padded user password, then 19 more passes with
  // the key XORed with the pass number.
  std::string result(padded_user);  // encrypted in place: O when done
  for (int pass = 0; pass < 20; ++pass) {
    uint8_t key[kKeyBytes];
    for (size_t k = 0; k < kKeyBytes; ++k) key[k] = static_cast<uint8_t>(digest[k] ^ pass);
    Rc4(key, kKeyBytes).Crypt(Bytes(result), result.size());
  }
  WipeBytes(digest, sizeof digest);
  // Step g.
  return result;
}

// Algorithm 2: the file key.
void PdfStandardSecurityHandler::ComputeFileKey(const std::string& identifier, std::string_view padded_user,
                                                const std::string& owner_value, int32_t permissions) {
  identifier_ = identifier;
  owner_value_ = owner_value;
  permissions_ = permissions;
  // Steps a-e: MD5 of the padded user password, O, P (4 bytes, low byte
  // first) and the first element of the file identifier.
  Md5 md5;
  md5.Update(padded_user.data(), padded_user.size());
  md5.Update(owner_value.data(), owner_value.size());
  uint8_t p[4];
  for (int k = 0; k < 4; ++k) p[k] = static_cast<uint8_t>(static_cast<uint32_t>(permissions) >> (8 * k));
  md5.Update(p, sizeof p);
  if (!identifier.empty()) md5.Update(identifier.data(), identifier.size());
  // Step f (revision 4): metadata left in the clear adds four 0xFF bytes.
  if (!encrypt_metadata_) md5.Update("\xFF\xFF\xFF\xFF", 4);
  uint8_t digest[Md5::kDigestSize];
  md5.Final(digest);
  // Step h (revision 3 and later): 50 rounds of MD5 over the key length.
  for (int round = 0; round < KeyRounds(); ++round) Md5::Digest(digest, key_bytes_, digest);
  // Step i.
  file_key_.assign(reinterpret_cast<const char*>(digest), key_bytes_);
  WipeBytes(digest, sizeof digest);
}

// Algorithm 5: the user value U (revision 3).
void PdfStandardSecurityHandler::ComputeUserValue() {
  // Steps b-c: MD5 of the padding string and the identifier.
  Md5 md5;
  md5.Update(kPadding, sizeof kPadding);
  md5.Update(identifier_.data(), identifier_.size());
  uint8_t digest[Md5::kDigestSize];
  md5.Final(digest);
  // Steps d-e: RC4 with the file key, then 19 passes with the key XORed
  // with the pass number.
  for (int pass = 0; pass < 20; ++pass) {
    uint8_t key[kKeyBytes];
    for (size_t k = 0; k < file_key_.size(); ++k)
      key[k] = static_cast<uint8_t>(static_cast<uint8_t>(file_key_[k]) ^ pass);
    Rc4(key, file_key_.size()).Crypt(digest, sizeof digest);
  }
  // Step f: the 16 bytes, completed to 32 with zeros (the standard leaves
  // the completion arbitrary).
  user_value_.assign(reinterpret_cast<const char*>(digest), sizeof digest);
  user_value_.append(kValueBytes - sizeof digest, '\0');
}

// Algorithm 1: the key of one object (RC4, no AES salt).
void PdfStandardSecurityHandler::ObjectKey(int num, int gen, uint8_t key[kKeyBytes]) const {
  // Step b: the file key, the 3 low bytes of the object number and the 2
  // low bytes of the generation, each low byte first.
  uint8_t input[kKeyBytes + 5];
  const size_t file_key_len = file_key_.size();  // kKeyBytes once computed
  std::memcpy(input, file_key_.data(), file_key_len);
  uint8_t* suffix = input + file_key_len;
  uint32_t n = static_cast<uint32_t>(num), g = static_cast<uint32_t>(gen);
  suffix[0] = static_cast<uint8_t>(n);
  suffix[1] = static_cast<uint8_t>(n >> 8);
  suffix[2] = static_cast<uint8_t>(n >> 16);
  suffix[3] = static_cast<uint8_t>(g);
  suffix[4] = static_cast<uint8_t>(g >> 8);
  // Steps c-d: the key is the first min(16 + 5, 16) = 16 bytes of the digest
  // (21 bytes of input: one MD5 block).
  Md5::Digest(input, file_key_len + 5, key);
}

void PdfStandardSecurityHandler::EncryptObjectData(int num, int gen, uint8_t* data, size_t len) const {
  uint8_t key[kKeyBytes];
  ObjectKey(num, gen, key);
  Rc4(key, kKeyBytes).Crypt(data, len);
}

SecretString PdfStandardSecurityHandler::ObjectKeyBytes(int64_t number, int64_t generation) const {
  uint8_t key[kKeyBytes];
  ObjectKey(static_cast<int>(number), static_cast<int>(generation), key);
  SecretString bytes(reinterpret_cast<const char*>(key), kKeyBytes);
  WipeBytes(key, sizeof key);
  return bytes;
}

SecretString PdfStandardSecurityHandler::ObjectKeyFor(int64_t number, int64_t generation, Cipher cipher) const {
  return Md5ObjectKey(file_key_, number, generation, cipher == Cipher::kAes);
}

bool PdfStandardSecurityHandler::AuthenticateUser(const EncryptValues& values, std::string_view padded_user) {
  ComputeFileKey(values.identifier, padded_user, values.owner_value.substr(0, kValueBytes), values.permissions);
  ComputeUserValue();
  const size_t checked = UserValueBytesChecked();
  return user_value_.compare(0, checked, values.user_value, 0, checked) == 0;
}

// Algorithms 6 and 7.
PdfSecurityHandler::Access PdfStandardSecurityHandler::Authenticate(const EncryptValues& values,
                                                                    std::string_view password) {
  if (values.owner_value.size() < kValueBytes || values.user_value.size() < kValueBytes) {
    // Some writers store O or U short (U often with only the 16 bytes that
    // revisions 3 and 4 compare). Completed with zeros, as qpdf does, what
    // can be checked opens; what cannot is refused as such.
    EncryptValues completed = values;
    for (std::string* value : {&completed.owner_value, &completed.user_value})
      value->resize(std::max(value->size(), kValueBytes), '\0');
    const Access access = Authenticate(completed, password);
    if (access == Access::kNone) throw _kelvra_runtime_error(errtext::kBadOU);
    return access;
  }
  if (values.key_bytes < 5 || values.key_bytes > kKeyBytes) throw _kelvra_runtime_error(errtext::kHandlerKeyLength);
  key_bytes_ = values.key_bytes;
  encrypt_metadata_ = values.encrypt_metadata;
  const SecretString padded = PadPassword(password);
  // Algorithm 7: O's key from the password as owner password, O decrypted
  // back to the padded user password (the passes in reverse order).
  uint8_t digest[Md5::kDigestSize];
  Md5::Digest(padded.data(), padded.size(), digest);
  for (int round = 0; round < KeyRounds(); ++round) Md5::Digest(digest, sizeof digest, digest);
  SecretString user(std::string_view(values.owner_value).substr(0, kValueBytes));  // the padded user password
  for (int pass = CipherPasses() - 1; pass >= 0; --pass) {
    uint8_t key[kKeyBytes];
    for (size_t k = 0; k < key_bytes_; ++k) key[k] = static_cast<uint8_t>(digest[k] ^ pass);
    Rc4(key, key_bytes_).Crypt(Bytes(user), user.size());
  }
  WipeBytes(digest, sizeof digest);
  Access access = Access::kNone;
  if (AuthenticateUser(values, user)) {
    access = Access::kOwner;
  } else if (AuthenticateUser(values, padded)) {
    access = Access::kUser;
  }
  if (access == Access::kNone) {
    file_key_.clear();
  } else {
    user_value_ = values.user_value.substr(0, kValueBytes);
  }
  return access;
}

bool PdfStandardSecurityHandler::PreparePassword(std::string_view utf8, bool, SecretString* out) const {
  return PdfDocEncoding::FromUtf8(utf8, out);
}

std::unique_ptr<PdfObjectCipher> PdfStandardSecurityHandler::NewCipher(Cipher method) const {
  if (method == Cipher::kRc4) return std::make_unique<Rc4ObjectCipher>(*this);
  return PdfSecurityHandler::NewCipher(method);
}

std::string PdfStandardSecurityHandler::EncryptDictionaryEntries() const {
  return "/P " + std::to_string(permissions_) + "\n/R 3\n/Filter /Standard\n/Length 128\n/V 2\n/O (" +
         GetEscapedOwnerValue() + ")\n/U (" + GetEscapedUserValue() + ")\n";
}
