#include "api/documentencryptor.h"

#include <utility>

#include "writer/pdfcipherchoice.h"
#include "pdf/pdfdecryption.h"
#include "crypt/pdfsecurityhandler.h"
#include "crypt/secretstring.h"
#include "api/keymaterial.h"
#include "api/parsenotes.h"
#include "api/pdferrorreport.h"
#include "base/besidethread.h"
#include "base/kelvraruntimeerror.h"
#include "pdf/pdfdocumentcomparer.h"
#include "pdf/pdffileparser.h"
#include "base/pdfstream.h"
#include "writer/pdffilewriter.h"

namespace {

PdfCipherChoice::Cipher Internal(varnel::Cipher cipher) {
  switch (cipher) {
    case varnel::Cipher::kRc4_128:
      return PdfCipherChoice::Cipher::kRc4_128;
    case varnel::Cipher::kAes128:
      return PdfCipherChoice::Cipher::kAes128;
    case varnel::Cipher::kAes256:
      break;
  }
  return PdfCipherChoice::Cipher::kAes256;
}

// Passwords are typed as UTF-8; each revision hashes its own bytes of them
// (PDFDocEncoding for RC4 and AES-128, SASLprep'd UTF-8 for AES-256).
struct Passwords {
  SecretString user, owner;
};

// Checks the permission letters and the cipher and prepares both passwords;
// the reason in *why when something cannot be used.
bool Prepare(const varnel::EncryptOptions& options, Passwords* out, std::string* why) {
  if (options.permissions.find_first_not_of("PDMCAS") != std::string::npos) {
    *why = "permissions are letters among P D M C A S, not \"" + options.permissions + "\"";
    return false;
  }
  const int number = static_cast<int>(options.cipher);
  if (number < static_cast<int>(varnel::Cipher::kAes256) || number > static_cast<int>(varnel::Cipher::kRc4_128)) {
    *why = "unknown cipher " + std::to_string(number) + " (aes-256, aes-128 or rc4-128)";
    return false;
  }
  if (!options.recipients.empty() || !options.owner_recipients.empty()) {
    // One security handler per file: certificates, or passwords.
    if (!options.user_password.empty() || !options.owner_password.empty())
      *why = "passwords and recipients cannot be used together: a file is encrypted for one or the other";
    else if (options.cipher == varnel::Cipher::kRc4_128)
      *why = "recipients' certificates are used with aes-256 or aes-128, not rc4-128";
    else if (options.verify && !options.verify_identity)
      *why = "verifying a copy made for recipients needs the identity of one of them";
    return why->empty();
  }
  if (options.verify_identity) {
    *why = "a verifying identity is for copies made for recipients";
    return false;
  }
  const std::unique_ptr<PdfSecurityHandler> handler = PdfCipherChoice::NewHandler(Internal(options.cipher));
  const std::pair<const char*, std::pair<const std::string*, SecretString*>> typed[] = {
      {"user", {&options.user_password, &out->user}}, {"owner", {&options.owner_password, &out->owner}}};
  for (const auto& [which, password] : typed) {
    if (handler->PreparePassword(*password.first, true, password.second)) continue;
    *why = std::string("the ") + which + " password has a character that " +
           (handler->PasswordsInUnicode() ? "AES-256 passwords cannot hold (SASLprep refuses it)"
                                          : "PDF passwords cannot hold (PDFDocEncoding)");
    return false;
  }
  return true;
}

}  // namespace

DocumentEncryptor::DocumentEncryptor(const varnel::EncryptOptions& options, std::string name)
    : options_(options), name_(std::move(name)) {
  Passwords passwords;
  std::string why;
  if (!Prepare(options_, &passwords, &why)) throw varnel::Error(varnel::ErrorCode::kUsage, why, why);
  if (!options_.recipients.empty() || !options_.owner_recipients.empty()) {
    writer_ = PdfCipherChoice::NewRecipientWriter(
        Internal(options_.cipher), KeyMaterial::Load(options_.recipients, options_.allow_any_certificate),
        KeyMaterial::Load(options_.owner_recipients, options_.allow_any_certificate), options_.permissions);
  } else {
    writer_ =
        PdfCipherChoice::NewWriter(Internal(options_.cipher), passwords.user, passwords.owner, options_.permissions);
  }
  writer_->SetHelperThreads(options_.threads);
  writer_->SetRepair(options_.repair);
  writer_->TellWhichKey();
  if (options_.input_password) writer_->SetPassword(*options_.input_password, true);
  if (options_.input_identity) writer_->SetIdentity(KeyMaterial::Load(*options_.input_identity), true);
  // Refused before anything is written: a signed document the caller did
  // not agree to break. An encrypted one is already someone else's choice
  // of protection, and goes ahead with a notice, as decrypting it does.
  writer_->CheckPromises([this](const PdfPromises& promises) {
    if (promises.Signed() && !options_.invalidate_signatures && writer_->Decryption() == nullptr)
      throw _kelvra_runtime_error(errtext::kSigned, promises.BrokenByRewriting());
    // Assistive technology must still read a document that promises to be
    // accessible, and RC4's revision does not grant that on its own.
    if (!promises.pdfua.empty()) {
      Passwords again;
      std::string unused;
      if (Prepare(options_, &again, &unused)) writer_->KeepAccessible(again.user, again.owner, options_.permissions);
    }
  });
}

DocumentEncryptor::~DocumentEncryptor() {
  // The copy of the caller's options held the passwords.
  for (std::string* password : {&options_.user_password, &options_.owner_password}) WipeString(password);
  if (options_.input_password) WipeString(&*options_.input_password);
  for (std::optional<varnel::Identity>* identity : {&options_.input_identity, &options_.verify_identity}) {
    if (*identity) {
      WipeString(&(*identity)->password);
      WipeString(&(*identity)->bytes);
    }
  }
}

varnel::Result DocumentEncryptor::Write(PdfStream& input, std::ostream& output, const Source& written) {
  PdfDocumentComparer::Known written_forms;
  if (options_.verify) writer_->RecordForms(&written_forms);
  writer_->WriteDocument(input, output);
  varnel::Result result;
  result.objects = static_cast<int64_t>(writer_->ObjectsWritten());
  NoteParse(*writer_, &result);
  NotePromises(writer_->Promises(), name_, true, &result);
  if (options_.verify) {
    output.flush();
    Verify(&written_forms, written);
  }
  writer_.reset();
  result.bytes_out = static_cast<int64_t>(output.tellp());
  return result;
}

// Reads what was written back with the new user password and compares
// every object with the input as the writer read it (with the digests it
// recorded of what it wrote). The owner password must open the same file
// key with owner rights.
void DocumentEncryptor::Verify(PdfDocumentComparer::Known* written_forms, const Source& written) const {
  // Read twice, at once, so that two threads share the objects.
  std::unique_ptr<PdfStream> copy[2];
  PdfFileParser actual[2];
  const std::shared_ptr<const Identity> identity =
      options_.verify_identity ? KeyMaterial::Load(*options_.verify_identity) : nullptr;
  for (int i = 0; i < 2; ++i) {
    copy[i] = written();
    if (identity)
      actual[i].SetIdentity(identity, false);
    else
      actual[i].SetPassword(options_.user_password, false);
  }
  BesideThread::Run([&] { actual[1].Parse(*copy[1]); }, [&] { actual[0].Parse(*copy[0]); });
  if (actual[0].Decryption() == nullptr) throw _kelvra_runtime_error(errtext::kVerifyNotEncrypted);
  if (!options_.owner_password.empty()) {
    const std::unique_ptr<PdfDecryption> owner = actual[0].OpenWith(options_.owner_password);
    const PdfSecurityHandler& user = actual[0].Decryption()->Handler();
    if (owner->GetAccess() != PdfSecurityHandler::Access::kOwner ||
        owner->Handler().ObjectKeyFor(1, 0, user.DataCipher()) != user.ObjectKeyFor(1, 0, user.DataCipher()))
      throw _kelvra_runtime_error(errtext::kVerifyOwner);
  }
  PdfDocumentComparer::Compare(*writer_, actual[0], written_forms, &actual[1]);
}

std::string DocumentEncryptor::Invalid(const varnel::EncryptOptions& options) {
  Passwords passwords;
  std::string why;
  Prepare(options, &passwords, &why);
  return why;
}

std::string DocumentEncryptor::Notes(const varnel::EncryptOptions& options) {
  std::string notes, why;
  Passwords p;
  if (!Prepare(options, &p, &why)) return notes;
  const size_t count = PdfCipherChoice::NewHandler(Internal(options.cipher))->PasswordBytesThatCount();
  const std::pair<const char*, const SecretString*> prepared[] = {{"user", &p.user}, {"owner", &p.owner}};
  for (const auto& [which, password] : prepared)
    if (password->size() > count)
      notes += "varnel: note: only the first " + std::to_string(count) + " bytes of the " + which + " password count\n";
  return notes;
}

bool DocumentEncryptor::CipherNamed(const std::string& name, varnel::Cipher* cipher) {
  PdfCipherChoice::Cipher parsed;
  if (!PdfCipherChoice::Parse(name, &parsed)) return false;
  const varnel::Cipher ciphers[] = {varnel::Cipher::kAes256, varnel::Cipher::kAes128, varnel::Cipher::kRc4_128};
  for (varnel::Cipher c : ciphers)
    if (Internal(c) == parsed) *cipher = c;
  return true;
}
