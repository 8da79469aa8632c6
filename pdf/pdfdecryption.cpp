#include "pdf/pdfdecryption.h"

#include <cstdint>

#include "crypt/pdfpermissions.h"
#include "crypt/pdfpublickeysecurityhandler.h"
#include "base/pdflimits.h"
#include "base/kelvraruntimeerror.h"
#include "pdf/pdfarray.h"
#include "pdf/pdfdiccionario.h"
#include "pdf/pdfparser.h"
#include "base/pdfsyntaxformatter.h"

namespace {

const ErrorCatalogue::Entry& kUnsupported = errtext::kEncryptUnsupported;
const ErrorCatalogue::Entry& kKeyLength = errtext::kDecryptionKeyLength;

PdfValue* Simple(PdfDiccionario* d, const char* key, int type) {
  PdfValue* v = d->GetValue(key, true);
  return v != nullptr && v->kind() == PdfValue::Kind::Value && v->native_type == type ? v : nullptr;
}

int64_t Number(PdfDiccionario* d, const char* key, int64_t fallback) {
  PdfValue* v = Simple(d, key, NATIVE_NUMBER);
  return v != nullptr ? StringToInt64(v->text) : fallback;
}

std::string Name(PdfDiccionario* d, const char* key, const char* fallback) {
  PdfValue* v = Simple(d, key, NATIVE_NAME);
  return v != nullptr ? v->text : fallback;
}

// The bytes of a string value, literal or hexadecimal; empty for others.
std::string StringBytes(PdfValue* v) {
  if (v == nullptr || v->kind() != PdfValue::Kind::Value) return std::string();
  if (v->native_type == NATIVE_STRING) return v->text;
  if (v->native_type == NATIVE_HEXSTRING) return PdfSyntaxFormatter::HexToBytes(v->text);
  return std::string();
}

// The envelopes of a document encrypted for certificates: the /Recipients
// of the crypt filter that streams use (/adbe.pkcs7.s5), else the Encrypt
// dictionary's own (/adbe.pkcs7.s4 and s3).
}  // namespace

std::vector<std::string> PdfDecryption::Envelopes(PdfDiccionario* encrypt) {
  const std::string stream_filter = Name(encrypt, "/StmF", "");
  PdfValue* recipients = nullptr;
  PdfValue* cf = encrypt->GetValue("/CF", true);
  if (cf != nullptr && cf->kind() == PdfValue::Kind::Dictionary) {
    PdfValue* f = static_cast<PdfDiccionario*>(cf)->GetValue(stream_filter, true);
    if (f != nullptr && f->kind() == PdfValue::Kind::Dictionary)
      recipients = static_cast<PdfDiccionario*>(f)->GetValue("/Recipients", true);
  }
  if (recipients == nullptr) recipients = encrypt->GetValue("/Recipients", true);
  std::vector<std::string> envelopes;
  if (recipients != nullptr && recipients->kind() == PdfValue::Kind::Array) {
    auto* array = static_cast<PdfArray*>(recipients);
    if (static_cast<size_t>(array->GetSize()) > pdflimits::kMaxRecipientEnvelopes)
      throw _kelvra_runtime_error(errtext::kRecipientsLimit);
    for (int64_t i = 0; i < array->GetSize(); ++i) envelopes.push_back(StringBytes(array->GetValue(i, true)));
  } else if (recipients != nullptr) {
    envelopes.push_back(StringBytes(recipients));  // one, not in an array
  }
  return envelopes;
}

namespace {

// Whether an RC4 key may have this many bits: 40 to 128 in steps of 8.
bool Rc4KeyBits(int64_t bits) { return bits >= 40 && bits <= 128 && bits % 8 == 0; }

}  // namespace

PdfDecryption::PdfDecryption(PdfDiccionario* encrypt, const std::string& identifier, std::string_view password,
                             const Identity* identity) {
  const std::string handler = encrypt == nullptr ? std::string() : Name(encrypt, "/Filter", "");
  public_key_ = handler == "/Adobe.PubSec";
  if (!public_key_ && handler != "/Standard") throw _kelvra_runtime_error(kUnsupported);
  const int64_t v = Number(encrypt, "/V", 0);
  const int64_t r = Number(encrypt, "/R", 0);
  constexpr int64_t kAbsent = INT64_MIN;
  const int64_t length = Number(encrypt, "/Length", kAbsent);
  PdfSecurityHandler::EncryptValues values;
  values.identifier = identifier;
  values.owner_value = StringBytes(encrypt->GetValue("/O", true));
  values.user_value = StringBytes(encrypt->GetValue("/U", true));
  values.owner_key = StringBytes(encrypt->GetValue("/OE", true));
  values.user_key = StringBytes(encrypt->GetValue("/UE", true));
  values.perms = StringBytes(encrypt->GetValue("/Perms", true));
  // P is a signed 32-bit value; some producers write it unsigned.
  values.permissions = static_cast<int32_t>(static_cast<uint32_t>(Number(encrypt, "/P", 0)));
  PdfValue* em = Simple(encrypt, "/EncryptMetadata", NATIVE_KEYWORD);
  if (v >= 4) values.encrypt_metadata = em == nullptr || em->text != "false";
  encrypt_metadata_ = values.encrypt_metadata;

  if (v == 1 || v == 2 || v == 3) {
    // RC4 for everything, with a key of /Length bits (40 for /V 1).
    const int64_t bits = v == 1 || length == kAbsent ? 40 : length;
    if (!Rc4KeyBits(bits)) throw _kelvra_runtime_error(kKeyLength);
    values.key_bytes = static_cast<size_t>(bits / 8);
    if (public_key_)
      handler_ = std::make_unique<PdfPublicKeySecurityHandler>(static_cast<int>(v), true, values.key_bytes);
    else
      handler_ = PdfSecurityHandler::ForVersion(v, r);
    if (!handler_) throw _kelvra_runtime_error(kUnsupported);
  } else if (v == 4 || v == 5) {
    // Revision 4's top-level /Length only stands in for an RC4 crypt
    // filter's own.
    if (length != kAbsent && (v == 4 ? !Rc4KeyBits(length) : length != 256)) throw _kelvra_runtime_error(kKeyLength);
    if (public_key_)
      handler_ = std::make_unique<PdfPublicKeySecurityHandler>(static_cast<int>(v), values.encrypt_metadata);
    else
      handler_ = PdfSecurityHandler::ForVersion(v, r);
    if (!handler_) throw _kelvra_runtime_error(kUnsupported);
    // The crypt filters; their methods must fit the revision (AESV2 keys
    // are 128 bits, AESV3 keys 256), and an RC4 filter's /Length gives
    // the file key length.
    std::map<std::string, int64_t> bits;
    PdfValue* cf = encrypt->GetValue("/CF", true);
    if (cf != nullptr && cf->kind() == PdfValue::Kind::Dictionary) {
      auto* filters = static_cast<PdfDiccionario*>(cf);
      for (int64_t i = 0; i < filters->GetSize(); ++i) {
        PdfValue* f = filters->GetValue(i, true);
        if (f == nullptr || f->kind() != PdfValue::Kind::Dictionary) continue;
        auto* filter = static_cast<PdfDiccionario*>(f);
        const std::string cfm = Name(filter, "/CFM", "/None");
        Method method;
        if (cfm == "/V2" && v == 4) {
          method = PdfSecurityHandler::Cipher::kRc4;
          // Written in bits, or in bytes as some producers do (5 to 16).
          int64_t n = Number(filter, "/Length", length == kAbsent ? 128 : length);
          if (n >= 5 && n <= 16) n *= 8;
          if (!Rc4KeyBits(n)) throw _kelvra_runtime_error(kKeyLength);
          bits[filters->GetKey(i)] = n;
        } else if ((cfm == "/AESV2" && v == 4) || (cfm == "/AESV3" && v == 5)) {
          method = PdfSecurityHandler::Cipher::kAes;
          bits[filters->GetKey(i)] = 128;
        } else if (cfm != "/None") {
          throw _kelvra_runtime_error(kUnsupported);
        }
        filters_[filters->GetKey(i)] = method;
      }
    }
    const std::string stmf = Name(encrypt, "/StmF", "/Identity"), strf = Name(encrypt, "/StrF", "/Identity");
    strings_ = FilterMethod(strf);
    streams_ = FilterMethod(stmf);
    // One file key serves both filters, so they must agree on its length.
    if (v == 4 && bits.count(stmf) != 0) values.key_bytes = static_cast<size_t>(bits[stmf] / 8);
    if (v == 4 && bits.count(strf) != 0) {
      if (bits.count(stmf) != 0 && bits[stmf] != bits[strf]) throw _kelvra_runtime_error(kKeyLength);
      values.key_bytes = static_cast<size_t>(bits[strf] / 8);
    }
  } else {
    throw _kelvra_runtime_error(kUnsupported);
  }

  if (public_key_) {
    if (identity == nullptr) throw _kelvra_runtime_error(errtext::kIdentityNeeded);
    static_cast<PdfPublicKeySecurityHandler&>(*handler_).Open(Envelopes(encrypt), *identity);
    access_ = PdfSecurityHandler::Access::kUser;
    return;
  }
  // A password the revision cannot prepare is tried as the bytes typed.
  SecretString prepared;
  if (!handler_->PreparePassword(password, false, &prepared)) prepared = password;
  access_ = handler_->Authenticate(values, prepared);
  // Without /Length an RC4 key has 40 bits, as the format says; some
  // writers leave it out (or misspell it) over a 128-bit key, which is
  // tried before the password is called wrong, as qpdf does.
  if (access_ == PdfSecurityHandler::Access::kNone && (v == 2 || v == 3) && length == kAbsent) {
    values.key_bytes = 16;
    access_ = handler_->Authenticate(values, prepared);
  }
  if (access_ == PdfSecurityHandler::Access::kNone) throw _kelvra_runtime_error(errtext::kWrongPassword);
}

PdfDecryption::~PdfDecryption() = default;

bool PdfDecryption::MayChangeProtection() const {
  return access_ == PdfSecurityHandler::Access::kOwner || PdfPermissions::MayModify(handler_->GetPermissions());
}

PdfObjectCipher* PdfDecryption::CipherFor(Method method) const {
  if (!method) return nullptr;
  std::unique_ptr<PdfObjectCipher>& cipher = ciphers_[*method == PdfSecurityHandler::Cipher::kAes ? 1 : 0];
  if (!cipher) cipher = handler_->NewCipher(*method);
  return cipher.get();
}

PdfDecryption::Method PdfDecryption::FilterMethod(const std::string& name) const {
  if (name == "/Identity") return std::nullopt;
  auto it = filters_.find(name);
  if (it == filters_.end()) throw _kelvra_runtime_error(kUnsupported);
  return it->second;
}

void PdfDecryption::DecryptString(std::string& bytes, int64_t number, int64_t generation) const {
  if (PdfObjectCipher* cipher = CipherFor(strings_)) cipher->Decrypt(number, generation, bytes);
}

PdfDecryption::Method PdfDecryption::StreamMethod(PdfDiccionario* d) const {
  const std::string type = Name(d, "/Type", "");
  if (type == "/XRef" || (type == "/Metadata" && !encrypt_metadata_)) return std::nullopt;
  // A stream's own crypt filter comes first in /Filter and names its
  // filter in /DecodeParms /Name (the identity filter when none).
  PdfValue* filter = d->GetValue("/Filter", true);
  PdfValue* parms = d->GetValue("/DecodeParms", true);
  if (filter != nullptr && filter->kind() == PdfValue::Kind::Array) {
    auto* a = static_cast<PdfArray*>(filter);
    filter = a->GetSize() > 0 ? a->GetValue(0, true) : nullptr;
    if (parms != nullptr && parms->kind() == PdfValue::Kind::Array) {
      auto* p = static_cast<PdfArray*>(parms);
      parms = p->GetSize() > 0 ? p->GetValue(0, true) : nullptr;
    }
  }
  if (filter == nullptr || filter->native_type != NATIVE_NAME || filter->text != "/Crypt") return streams_;
  std::string name = "/Identity";
  if (parms != nullptr && parms->kind() == PdfValue::Kind::Dictionary)
    name = Name(static_cast<PdfDiccionario*>(parms), "/Name", "/Identity");
  return FilterMethod(name);
}

PdfDecryption::CopiedEntry PdfDecryption::CopyAfterDecryption(PdfDiccionario* d, const std::string& key) {
  if (key != "/Filter" && key != "/DecodeParms") return CopiedEntry::kAsIs;
  PdfValue* filter = d->GetValue("/Filter", true);
  const bool listed = filter != nullptr && filter->kind() == PdfValue::Kind::Array;
  PdfValue* first = filter;
  if (listed)
    first = static_cast<PdfArray*>(filter)->GetSize() > 0 ? static_cast<PdfArray*>(filter)->GetValue(0, true) : nullptr;
  if (first == nullptr || first->kind() != PdfValue::Kind::Value || first->native_type != NATIVE_NAME ||
      first->text != "/Crypt")
    return CopiedEntry::kAsIs;
  if (!listed) return CopiedEntry::kLeftOut;
  // A single /DecodeParms dictionary beside a list of filters is not the
  // crypt filter's own: it stays.
  PdfValue* value = d->GetValue(key.c_str(), true);
  return value != nullptr && value->kind() == PdfValue::Kind::Array ? CopiedEntry::kWithoutFirst : CopiedEntry::kAsIs;
}

void PdfDecryption::DecryptStream(PdfDiccionario* d, std::vector<uint8_t>& data) const {
  if (data.empty()) return;
  if (PdfObjectCipher* cipher = CipherFor(StreamMethod(d))) cipher->Decrypt(d->obj_number, d->obj_generation, data);
}

void PdfDecryption::SalvageStream(PdfDiccionario* d, std::vector<uint8_t>& data) const {
  if (PdfObjectCipher* cipher = CipherFor(StreamMethod(d)))
    data.resize(cipher->Salvage(d->obj_number, d->obj_generation, data.data(), data.size()));
}
