#include "pdf/pdfdecryption.h"

#include <cstdint>
#include <cstring>

#include "crypt/aescbc.h"
#include "crypt/pdfdocencoding.h"
#include "crypt/pdfrevision2securityhandler.h"
#include "crypt/pdfrevision4securityhandler.h"
#include "crypt/pdfrevision5securityhandler.h"
#include "crypt/pdfrevision6securityhandler.h"
#include "crypt/rc4.h"
#include "crypt/saslprep.h"
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

// Whether an RC4 key may have this many bits: 40 to 128 in steps of 8.
bool Rc4KeyBits(int64_t bits) { return bits >= 40 && bits <= 128 && bits % 8 == 0; }

}  // namespace

PdfDecryption::PdfDecryption(PdfDiccionario* encrypt, const std::string& identifier, std::string_view password) {
  if (encrypt == nullptr || Name(encrypt, "/Filter", "") != "/Standard") throw _kelvra_runtime_error(kUnsupported);
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
    if (r == 2) {
      handler_ = std::make_unique<PdfRevision2SecurityHandler>();
    } else if (r == 3) {
      handler_ = std::make_unique<PdfStandardSecurityHandler>();
    } else {
      throw _kelvra_runtime_error(kUnsupported);
    }
  } else if (v == 4 || v == 5) {
    // Revision 4's top-level /Length only stands in for an RC4 crypt
    // filter's own.
    if (length != kAbsent && (v == 4 ? !Rc4KeyBits(length) : length != 256)) throw _kelvra_runtime_error(kKeyLength);
    if (v == 4 && r == 4) {
      handler_ = std::make_unique<PdfRevision4SecurityHandler>();
    } else if (v == 5 && r == 5) {
      handler_ = std::make_unique<PdfRevision5SecurityHandler>();
    } else if (v == 5 && r == 6) {
      handler_ = std::make_unique<PdfRevision6SecurityHandler>();
    } else {
      throw _kelvra_runtime_error(kUnsupported);
    }
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
        Method method = Method::kNone;
        if (cfm == "/V2" && v == 4) {
          method = Method::kRc4;
          // Written in bits, or in bytes as some producers do (5 to 16).
          int64_t n = Number(filter, "/Length", length == kAbsent ? 128 : length);
          if (n >= 5 && n <= 16) n *= 8;
          if (!Rc4KeyBits(n)) throw _kelvra_runtime_error(kKeyLength);
          bits[filters->GetKey(i)] = n;
        } else if ((cfm == "/AESV2" && v == 4) || (cfm == "/AESV3" && v == 5)) {
          method = Method::kAes;
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

  // Revisions 2 to 4 hash PDFDocEncoding bytes, 5 and 6 SASLprep'd UTF-8;
  // a password that cannot be so is tried as the bytes typed.
  SecretString prepared;
  const bool ok =
      r >= 5 ? SaslPrep::Prepare(password, false, &prepared) : PdfDocEncoding::FromUtf8(password, &prepared);
  if (!ok) prepared = password;
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
  return access_ == PdfSecurityHandler::Access::kOwner ||
         (static_cast<uint32_t>(handler_->GetPermissions()) & 0x8u) != 0;
}

PdfDecryption::Method PdfDecryption::FilterMethod(const std::string& name) const {
  if (name == "/Identity") return Method::kNone;
  auto it = filters_.find(name);
  if (it == filters_.end()) throw _kelvra_runtime_error(kUnsupported);
  return it->second;
}

void PdfDecryption::DecryptString(std::string& bytes, int64_t number, int64_t generation) const {
  if (bytes.empty()) return;
  size_t size = bytes.size();
  Decrypt(strings_, reinterpret_cast<uint8_t*>(&bytes[0]), &size, number, generation);
  bytes.resize(size);
}

PdfDecryption::Method PdfDecryption::StreamMethod(PdfDiccionario* d) const {
  const std::string type = Name(d, "/Type", "");
  if (type == "/XRef" || (type == "/Metadata" && !encrypt_metadata_)) return Method::kNone;
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
  size_t size = data.size();
  Decrypt(StreamMethod(d), data.data(), &size, d->obj_number, d->obj_generation);
  data.resize(size);
}

void PdfDecryption::Decrypt(Method method, uint8_t* data, size_t* size, int64_t number, int64_t generation) const {
  if (method == Method::kNone) return;
  const PdfSecurityHandler::Cipher cipher =
      method == Method::kAes ? PdfSecurityHandler::Cipher::kAes : PdfSecurityHandler::Cipher::kRc4;
  const SecretString key = handler_->ObjectKeyFor(number, generation, cipher);
  const auto* key_bytes = reinterpret_cast<const uint8_t*>(key.data());
  if (method == Method::kRc4) {
    Rc4(key_bytes, key.size()).Crypt(data, *size);
    return;
  }
  // AES: a 16-byte IV, then whole blocks ending in PKCS#7 padding. An IV
  // alone is an empty value (some producers write empty strings so).
  constexpr size_t kBlock = AesCbc::kBlockBytes;
  if (*size == kBlock) {
    *size = 0;
    return;
  }
  if (*size < 2 * kBlock || *size % kBlock != 0) throw _kelvra_runtime_error(errtext::kAesDataLength);
  const size_t n = *size - kBlock;
  if (!aes_) {
    aes_ = std::make_unique<AesCbc>(key_bytes, key.size());
  } else if (key != aes_key_) {
    aes_->SetKey(key_bytes, key.size());
  }
  aes_key_ = key;
  aes_->SetIv(data);
  aes_->Decrypt(data + kBlock, data + kBlock, n);
  const uint8_t pad = data[*size - 1];
  bool padded = pad >= 1 && pad <= kBlock;
  for (size_t i = 1; padded && i <= pad; ++i) padded = data[*size - i] == pad;
  if (!padded) throw _kelvra_runtime_error(errtext::kAesPadding);
  std::memmove(data, data + kBlock, n - pad);
  *size = n - pad;
}
