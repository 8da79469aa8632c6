// The public functions: each opens its input, runs the shared job on it and
// turns every failure into varnel::Error.
#include "varnel/varnel.h"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <utility>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "api/keymaterial.h"
#include "api/atomicoutputfile.h"
#include "api/documentchecker.h"
#include "api/documentencryptor.h"
#include "api/errortranslation.h"
#include "api/parsenotes.h"
#include "crypt/cmsenvelope.h"
#include "crypt/cryptolibrary.h"
#include "crypt/identity.h"
#include "crypt/pdfpublickeysecurityhandler.h"
#include "base/kelvraruntimeerror.h"
#include "base/pdflimits.h"
#include "base/pdffilestream.h"
#include "base/pdfmemorystream.h"
#include "pdf/pdfdecryption.h"
#include "pdf/pdfdiccionario.h"
#include "pdf/pdffileparser.h"
#include "writer/pdfdecryptedfilewriter.h"
#include "writer/zipostringstream.h"

namespace varnel {

namespace {

// How a document held in memory is named in descriptions.
const char* const kBuffer = "the document";

// How an input is named in descriptions: "-" is standard input.
std::string Named(const std::string& path) { return path == "-" ? "standard input" : path; }

// The whole of standard input, which a pipe gives only once and in order.
std::string ReadStandardInput() {
#ifdef _WIN32
  _setmode(_fileno(stdin), _O_BINARY);
#endif
  std::string data;
  char chunk[1 << 16];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, stdin)) > 0) {
    if (data.size() + n > pdflimits::kMaxStandardInputBytes) throw _kelvra_runtime_error(errtext::kStandardInputLimit);
    data.append(chunk, n);
  }
  if (std::ferror(stdin)) throw _kelvra_runtime_error(errtext::kOpenFopen);
  return data;
}

// The input at path; "-" is standard input, read into *data first.
std::unique_ptr<PdfStream> OpenInput(const std::string& path, std::string* data) {
  if (path == "-") {
    *data = ReadStandardInput();
    return std::make_unique<PdfMemoryStream>(data->data(), data->size());
  }
  auto stream = std::make_unique<PdfFileStream>();
  try {
    errno = 0;
    stream->Abrir(path.c_str(), "rb");
  } catch (...) {
    ThrowPublicError(path, errno);
  }
  return stream;
}

// Runs a step of writing the output file, its failures kOutputFailed.
template <typename Step>
auto OutputStep(Step&& step) -> decltype(step()) {
  try {
    return step();
  } catch (const std::exception& e) {
    throw Error(ErrorCode::kOutputFailed, e.what(), e.what());
  }
}

std::unique_ptr<AtomicOutputFile> CreateOutput(const std::string& path) {
  return OutputStep([&] { return std::make_unique<AtomicOutputFile>(path); });
}

// Runs work that writes into output: when it fails because a write did,
// the write's reason is told ("cannot write out.pdf: No space left on
// device"), not the writer's.
template <typename Work>
auto Writing(AtomicOutputFile& output, Work&& work) -> decltype(work()) {
  try {
    return work();
  } catch (...) {
    OutputStep([&] { output.ThrowIfWriteFailed(); });
    throw;
  }
}

void Commit(AtomicOutputFile& output, Result* result) {
  OutputStep([&] { output.Commit(); });
  result->output_note = output.note();
}

// An output about the size of the input, grown in place.
void Reserve(zip_ostringstream& output, std::string_view input) {
  output.Reserve(input.size() + input.size() / 16 + 4096);
}

Result Decrypt(const DecryptOptions& options, PdfStream& input, std::ostream& output, const std::string& name) {
  PdfDecryptedFileWriter writer(options.password);
  if (options.identity) writer.SetIdentity(KeyMaterial::Load(*options.identity), true);
  writer.SetRepair(options.repair);
  writer.WriteDocument(input, output);
  Result result;
  result.objects = static_cast<int64_t>(writer.ObjectsWritten());
  NoteParse(writer, &result);
  NotePromises(writer.Promises(), name, false, &result);
  result.bytes_out = static_cast<int64_t>(output.tellp());
  return result;
}

// The value of key in d when it is a name (with its slash), a number or
// a keyword; null otherwise.
PdfValue* Simple(PdfDiccionario* d, const char* key, int type) {
  PdfValue* v = d != nullptr ? d->GetValue(key, true) : nullptr;
  return v != nullptr && v->kind() == PdfValue::Kind::Value && v->native_type == type ? v : nullptr;
}

std::string NameIn(PdfDiccionario* d, const char* key, const std::string& fallback) {
  PdfValue* v = Simple(d, key, NATIVE_NAME);
  return v != nullptr ? v->text : fallback;
}

int64_t NumberIn(PdfDiccionario* d, const char* key, int64_t fallback) {
  PdfValue* v = Simple(d, key, NATIVE_NUMBER);
  return v != nullptr && v->text.size() < 12 ? StringToInt64(v->text) : fallback;
}

PdfDiccionario* DictionaryIn(PdfDiccionario* d, const std::string& key) {
  PdfValue* v = d != nullptr ? d->GetValue(key, true) : nullptr;
  return v != nullptr && v->kind() == PdfValue::Kind::Dictionary ? static_cast<PdfDiccionario*>(v) : nullptr;
}

// The method of the crypt filter named filter (/Identity, or one of /CF),
// and its key length in bits (0 when it has none).
std::string FilterMethod(PdfDiccionario* encrypt, const std::string& filter, int64_t* bits) {
  *bits = 0;
  if (filter == "/Identity") return "none";
  PdfDiccionario* f = DictionaryIn(DictionaryIn(encrypt, "/CF"), filter);
  if (f == nullptr) return "unknown";
  const std::string cfm = NameIn(f, "/CFM", "/None");
  if (cfm == "/None") return "none";
  if (cfm == "/AESV2") return *bits = 128, "AESv2";
  if (cfm == "/AESV3") return *bits = 256, "AESv3";
  if (cfm != "/V2") return "unknown";
  // In bits, or in bytes as some producers write it.
  int64_t n = NumberIn(f, "/Length", NumberIn(encrypt, "/Length", 128));
  if (n >= 5 && n <= 16) n *= 8;
  *bits = n;
  return "RC4";
}

// A key length as told: 0 for one no cipher has.
int KeyBits(int64_t bits) { return bits >= 40 && bits <= 256 ? static_cast<int>(bits) : 0; }

// The rights the permission bits grant under revision r, read as qpdf
// reads them (revision 2 has no bits 9 to 12).
Permissions PermissionsOf(int32_t p, int r) {
  auto bit = [p](int n) { return (static_cast<uint32_t>(p) >> (n - 1) & 1u) != 0; };
  const bool old = r < 3;
  Permissions g;
  g.extract_for_accessibility = old ? bit(5) : bit(10);
  g.extract_for_any_purpose = bit(5);
  g.print_low_resolution = bit(3);
  g.print_high_resolution = bit(3) && (old || bit(12));
  g.modify_document_assembly = old ? bit(4) : bit(11);
  g.modify_forms = old ? bit(6) : bit(9);
  g.modify_annotations = bit(6);
  g.modify_other = bit(4);
  g.modify_anything = bit(4) && bit(6) && (old || (bit(9) && bit(11)));
  return g;
}

Protection Show(PdfStream& input, const std::optional<std::string>& password,
                std::shared_ptr<const ::Identity> identity = nullptr) {
  PdfFileParser parser;
  if (password || identity) {
    parser.SetRepair(true);
    if (password) parser.SetPassword(*password, false);
    if (identity) parser.SetIdentity(identity, false);
  } else {
    parser.LeaveEncrypted();
  }
  parser.Parse(input);
  Protection p;
  PdfValue* found = parser.BuscarEnTrailer("/Encrypt", true);
  if (found == nullptr) {
    p.promises_known = true;
    TellPromises(parser.Promises(), &p);
    return p;
  }
  if (found->kind() != PdfValue::Kind::Dictionary) throw _kelvra_runtime_error(errtext::kEncryptUnsupported);
  auto* encrypt = static_cast<PdfDiccionario*>(found);
  p.encrypted = true;
  p.security_handler = NameIn(encrypt, "/Filter", "/");
  p.security_handler.erase(0, 1);
  p.algorithm = static_cast<int>(NumberIn(encrypt, "/V", 0));
  p.revision = static_cast<int>(NumberIn(encrypt, "/R", 0));
  p.permission_bits = static_cast<int32_t>(static_cast<uint32_t>(NumberIn(encrypt, "/P", 0)));
  p.permissions = PermissionsOf(p.permission_bits, p.revision);
  if (p.security_handler == "Adobe.PubSec")
    for (const std::string& envelope : PdfDecryption::Envelopes(encrypt))
      p.recipients += CmsEnvelope::Recipients(envelope);
  if (p.algorithm >= 1 && p.algorithm <= 3) {
    p.strings = p.streams = p.attachments = "RC4";
    p.key_bits = KeyBits(p.algorithm == 1 ? 40 : NumberIn(encrypt, "/Length", 40));
  } else if (p.algorithm == 4 || p.algorithm == 5) {
    const std::string stmf = NameIn(encrypt, "/StmF", "/Identity");
    int64_t stream_bits, string_bits, unused;
    p.streams = FilterMethod(encrypt, stmf, &stream_bits);
    p.strings = FilterMethod(encrypt, NameIn(encrypt, "/StrF", "/Identity"), &string_bits);
    p.attachments = FilterMethod(encrypt, NameIn(encrypt, "/EFF", stmf), &unused);
    p.key_bits = KeyBits(stream_bits != 0 ? stream_bits : string_bits);
    PdfValue* metadata = Simple(encrypt, "/EncryptMetadata", NATIVE_KEYWORD);
    p.metadata_encrypted = metadata == nullptr || metadata->text != "false";
  } else {
    p.strings = p.streams = p.attachments = "unknown";
  }
  if (const PdfDecryption* d = parser.Decryption()) {
    if (d->PublicKey()) {
      // The rights are those sealed for the recipient the identity is.
      const auto& handler = static_cast<const PdfPublicKeySecurityHandler&>(d->Handler());
      p.matched_recipient = static_cast<int64_t>(handler.MatchedRecipient());
      p.identity_subject = identity->Subject();
      p.permission_bits = handler.GetPermissions();
      p.permissions = PermissionsOf(p.permission_bits, 4);
    } else {
      p.opened_with = d->GetAccess() == PdfSecurityHandler::Access::kOwner ? "owner" : "user";
    }
    p.promises_known = true;
    TellPromises(parser.Promises(), &p);
    Result noted;
    NoteParse(parser, &noted);
    p.repaired = noted.repaired;
    p.repair_note = noted.repair_note;
    p.warning = noted.warning;
  }
  return p;
}

}  // namespace

Result EncryptFile(const std::string& input, const std::string& output, const EncryptOptions& options) {
  return Guarded(Named(input), [&] {
    DocumentEncryptor encryptor(options, Named(input));
    std::string piped;
    std::unique_ptr<PdfStream> in = OpenInput(input, &piped);
    std::unique_ptr<AtomicOutputFile> out = CreateOutput(output);
    // Read back, for --verify, from the file being written, not by its name.
    Result result = Writing(*out, [&] {
      return encryptor.Write(*in, out->stream(), [&out] { return OutputStep([&] { return out->ReadBack(); }); });
    });
    // The input is closed first: it may be the output's destination.
    in.reset();
    Commit(*out, &result);
    return result;
  });
}

std::string EncryptBuffer(std::string_view pdf, const EncryptOptions& options, Result* result) {
  return Guarded(kBuffer, [&] {
    DocumentEncryptor encryptor(options, kBuffer);
    PdfMemoryStream in(pdf.data(), pdf.size());
    zip_ostringstream out;
    Reserve(out, pdf);
    Result done = encryptor.Write(in, out, [&out] {
      return std::unique_ptr<PdfStream>(std::make_unique<PdfMemoryStream>(out.str().data(), out.str().size()));
    });
    if (result != nullptr) *result = std::move(done);
    return out.Take();
  });
}

Result DecryptFile(const std::string& input, const std::string& output, const DecryptOptions& options) {
  return Guarded(Named(input), [&] {
    std::unique_ptr<AtomicOutputFile> out = CreateOutput(output);
    Result result;
    {
      std::string piped;
      std::unique_ptr<PdfStream> in = OpenInput(input, &piped);
      result = Writing(*out, [&] { return Decrypt(options, *in, out->stream(), Named(input)); });
    }
    Commit(*out, &result);
    return result;
  });
}

std::string DecryptBuffer(std::string_view pdf, const DecryptOptions& options, Result* result) {
  return Guarded(kBuffer, [&] {
    PdfMemoryStream in(pdf.data(), pdf.size());
    zip_ostringstream out;
    Reserve(out, pdf);
    Result done = Decrypt(options, in, out, kBuffer);
    if (result != nullptr) *result = std::move(done);
    return out.Take();
  });
}

CheckResult CheckFile(const std::string& path, const std::optional<std::string>& password) {
  return Guarded(Named(path), [&] {
    std::string piped;
    return DocumentChecker::Check(*OpenInput(path, &piped), password);
  });
}

CheckResult CheckBuffer(std::string_view pdf, const std::optional<std::string>& password) {
  return Guarded(kBuffer, [&] {
    PdfMemoryStream in(pdf.data(), pdf.size());
    return DocumentChecker::Check(in, password);
  });
}

CheckResult CheckFile(const std::string& path, const Identity& identity) {
  return Guarded(Named(path), [&] {
    std::string piped;
    return DocumentChecker::Check(*OpenInput(path, &piped), std::nullopt, KeyMaterial::Load(identity));
  });
}

CheckResult CheckBuffer(std::string_view pdf, const Identity& identity) {
  return Guarded(kBuffer, [&] {
    PdfMemoryStream in(pdf.data(), pdf.size());
    return DocumentChecker::Check(in, std::nullopt, KeyMaterial::Load(identity));
  });
}

Protection ShowFile(const std::string& path, const std::optional<std::string>& password) {
  return Guarded(Named(path), [&] {
    std::string piped;
    return Show(*OpenInput(path, &piped), password);
  });
}

Protection ShowBuffer(std::string_view pdf, const std::optional<std::string>& password) {
  return Guarded(kBuffer, [&] {
    PdfMemoryStream in(pdf.data(), pdf.size());
    return Show(in, password);
  });
}

Protection ShowFile(const std::string& path, const Identity& identity) {
  return Guarded(Named(path), [&] {
    std::string piped;
    return Show(*OpenInput(path, &piped), std::nullopt, KeyMaterial::Load(identity));
  });
}

Protection ShowBuffer(std::string_view pdf, const Identity& identity) {
  return Guarded(kBuffer, [&] {
    PdfMemoryStream in(pdf.data(), pdf.size());
    return Show(in, std::nullopt, KeyMaterial::Load(identity));
  });
}

bool CipherNamed(const std::string& name, Cipher* cipher) { return DocumentEncryptor::CipherNamed(name, cipher); }
std::string EncryptOptionsProblem(const EncryptOptions& options) { return DocumentEncryptor::Invalid(options); }
std::string EncryptOptionsNotes(const EncryptOptions& options) { return DocumentEncryptor::Notes(options); }
void HandleSignals() { AtomicOutputFile::HandleSignals(); }
void LeaveSignalsAlone() { AtomicOutputFile::LeaveSignalsAlone(); }
void RemoveTemporaryFiles() { AtomicOutputFile::RemoveTemporaryFiles(); }

const char* Version() { return VARNEL_VERSION; }

const char* CryptoLibraryVersion() { return CryptoLibrary::Version(); }

}  // namespace varnel
