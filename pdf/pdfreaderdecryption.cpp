// Decryption glue of PdfFileParser.
#include "pdf/pdfreaderdecryption.h"

#include <string>

#include "base/kelvraruntimeerror.h"
#include "base/pdfsyntaxformatter.h"
#include "pdf/pdfarray.h"
#include "pdf/pdfdecryption.h"
#include "pdf/pdfdiccionario.h"
#include "pdf/pdffileparser.h"
#include "pdf/pdfkeyvaluepair.h"
#include "pdf/pdfpromises.h"

PdfReaderDecryption::PdfReaderDecryption(PdfFileParser& parser) : parser_(parser) {}

PdfReaderDecryption::~PdfReaderDecryption() = default;

void PdfReaderDecryption::SetPassword(std::string_view utf8, bool need_change_rights) {
  has_password_ = true;
  need_change_rights_ = need_change_rights;
  password_ = utf8;
}

void PdfReaderDecryption::SetIdentity(std::shared_ptr<const Identity> identity, bool need_change_rights) {
  has_password_ = true;
  need_change_rights_ = need_change_rights;
  identity_ = std::move(identity);
}

void PdfReaderDecryption::Open() {
  PdfValue* reference = parser_.BuscarEnTrailer("/Encrypt", false);
  if (reference == nullptr || leave_encrypted_) return;
  bool readable = true;
  if (reference->kind() == PdfValue::Kind::Value && reference->native_type == NATIVE_REFERENCE) {
    const size_t blank = reference->text.find(' ');
    encrypt_number_ = StringToInt64(reference->text.substr(0, blank));
    // Inside an object stream it could not be read before decrypting.
    const XRefEntry* e = parser_.index_.Newest(encrypt_number_);
    readable = e != nullptr && e->type == XRefEntry::kInUse;
  }
  // Without a key, say which kind it needs: a password, or a recipient's private key.
  if (!has_password_) {
    PdfValue* encrypt = readable ? parser_.BuscarEnTrailer("/Encrypt", true) : nullptr;
    PdfValue* filter = encrypt != nullptr && encrypt->kind() == PdfValue::Kind::Dictionary
                           ? static_cast<PdfDiccionario*>(encrypt)->GetValue("/Filter", true)
                           : nullptr;
    const bool recipients = filter != nullptr && filter->native_type == NATIVE_NAME && filter->text == "/Adobe.PubSec";
    throw _kelvra_runtime_error(recipients ? errtext::kEncryptedForRecipients : errtext::kEncrypted);
  }
  if (!readable) throw _kelvra_runtime_error(errtext::kEncryptUnsupported);
  decryption_ = OpenWith(password_, identity_.get());
  if (need_change_rights_ && !decryption_->MayChangeProtection())
    throw _kelvra_runtime_error(decryption_->PublicKey() ? errtext::kRecipientMayNotChange
                                                         : errtext::kOwnerPasswordNeeded);
}

std::unique_ptr<PdfDecryption> PdfReaderDecryption::OpenWith(std::string_view password, const Identity* identity) {
  PdfValue* encrypt = parser_.BuscarEnTrailer("/Encrypt", true);
  if (encrypt == nullptr || encrypt->kind() != PdfValue::Kind::Dictionary)
    throw _kelvra_runtime_error(errtext::kEncryptUnsupported);
  // The identifier is never encrypted.
  std::string identifier;
  PdfValue* id = parser_.BuscarEnTrailer("/ID", true);
  if (id != nullptr && id->kind() == PdfValue::Kind::Array && static_cast<PdfArray*>(id)->GetSize() > 0) {
    PdfValue* first = static_cast<PdfArray*>(id)->GetValue(0, true);
    if (first != nullptr && first->native_type == NATIVE_STRING) identifier = first->text;
    if (first != nullptr && first->native_type == NATIVE_HEXSTRING)
      identifier = PdfSyntaxFormatter::HexToBytes(first->text);
  }
  return std::make_unique<PdfDecryption>(static_cast<PdfDiccionario*>(encrypt), identifier, password, identity);
}

void PdfReaderDecryption::DecryptStrings(PdfValue* v, int64_t number, int64_t generation, bool whole) {
  if (v == nullptr) return;
  switch (v->kind()) {
    case PdfValue::Kind::Dictionary: {
      auto* d = static_cast<PdfDiccionario*>(v);
      PdfValue* type = d->GetValue("/Type", false);
      // A cross-reference stream is never encrypted.
      if (type != nullptr && type->native_type == NATIVE_NAME && type->text == "/XRef") return;
      const bool signature = parser_.KeepsContents(d, number, whole);
      for (PdfKeyValuePair* pair : d->pairs) {
        if (signature && pair->key == "/Contents")
          DecryptSignatureContents(pair->value, number, generation);
        else
          DecryptStrings(pair->value, number, generation);
      }
      return;
    }
    case PdfValue::Kind::Array:
      for (PdfValue* element : static_cast<PdfArray*>(v)->elements) DecryptStrings(element, number, generation);
      return;
    case PdfValue::Kind::KeyValuePair:
      DecryptStrings(static_cast<PdfKeyValuePair*>(v)->value, number, generation);
      return;
    case PdfValue::Kind::Value:
      break;
  }
  if (v->native_type == NATIVE_HEXSTRING) {
    v->text = PdfSyntaxFormatter::HexToBytes(v->text);
    v->native_type = NATIVE_STRING;
  }
  if (v->native_type == NATIVE_STRING) decryption_->DecryptString(v->text, number, generation);
}

// A signature's /Contents is never encrypted: its bytes are what was signed
// over, and a writer that encrypted them would hide the signer from every
// reader that follows the rule. Older writers did encrypt it, though: bytes
// that are no signature as stored but are one decrypted are taken
// decrypted. Anything else stays as written. The form (hex or literal) is
// kept either way.
void PdfReaderDecryption::DecryptSignatureContents(PdfValue* v, int64_t number, int64_t generation) {
  if (v == nullptr || v->kind() != PdfValue::Kind::Value ||
      (v->native_type != NATIVE_STRING && v->native_type != NATIVE_HEXSTRING))
    return DecryptStrings(v, number, generation);
  const bool hex = v->native_type == NATIVE_HEXSTRING;
  std::string bytes = hex ? PdfSyntaxFormatter::HexToBytes(v->text) : v->text;
  if (PdfPromises::HoldsSignatureBytes(bytes)) return;
  try {
    decryption_->DecryptString(bytes, number, generation);
  } catch (const _kelvra_runtime_error&) {
    return;  // AES data that does not decrypt was never encrypted
  }
  if (!PdfPromises::HoldsSignatureBytes(bytes)) return;
  v->text = hex ? PdfSyntaxFormatter::BytesToHex(bytes) : bytes;
}

void PdfReaderDecryption::DecryptStream(PdfDiccionario* d, std::vector<uint8_t>& data) {
  if (decryption_) decryption_->DecryptStream(d, data);
}

void PdfReaderDecryption::RefuseEncrypted(PdfDiccionario* trailer) const {
  if (!has_password_ && !tells_key_ && trailer->GetValue("/Encrypt", false) != nullptr)
    throw _kelvra_runtime_error(errtext::kEncrypted);
}

void PdfReaderDecryption::Reset() {
  decryption_.reset();
  encrypt_number_ = -1;
}
