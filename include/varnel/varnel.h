// Varnel's public C++ interface: encrypt a PDF document, open an encrypted
// one, check one. Everything else in the source tree is internal and may
// change; this header, varnel_c.h and the error codes below stay stable.
//
// Every function is safe to call from several threads at once (they share
// no state). Failures are thrown as varnel::Error.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#if defined(_WIN32)
#define VARNEL_API
#elif defined(VARNEL_BUILDING_SHARED)
#define VARNEL_API __attribute__((visibility("default")))
#else
#define VARNEL_API
#endif

namespace varnel {

// Why a call failed. The numbers are stable (the C interface and the
// Python module use them too).
enum class ErrorCode : int {
  kOpenFailed = 1,             // the input could not be opened or read at all
  kNotPdf = 2,                 // it does not start like a PDF file
  kDamaged = 3,                // its structure could not be read (or repaired)
  kEncrypted = 4,              // it is encrypted and no input password was given
  kWrongPassword = 5,          // the password given does not open it
  kOwnerPasswordRequired = 6,  // it opens, but the job needs its owner password
  kLimitExceeded = 7,          // it goes beyond a limit set against hostile files
  kOutputFailed = 8,           // the output could not be written (or did not verify)
  kUsage = 9,                  // the request itself is wrong (cipher, permissions, password)
  kSigned = 10,                // it is signed, and encrypting it would invalidate the signatures
};

// The code's stable name: "open_failed", "not_pdf", "damaged", "encrypted",
// "wrong_password", "owner_password_required", "limit_exceeded",
// "output_failed", "usage", "signed".
VARNEL_API const char* ErrorCodeName(ErrorCode code);

class VARNEL_API Error : public std::runtime_error {
 public:
  // what(): the failure said for a person ("in.pdf is damaged: ...");
  // detail(): the library's own message text, unchanged.
  Error(ErrorCode code, const std::string& library_text, std::string description);
  ErrorCode code() const noexcept { return code_; }
  const std::string& detail() const noexcept { return detail_; }
  // The same as what(), from when what() gave the library text.
  [[deprecated("use what()")]] const std::string& description() const noexcept { return description_; }

 private:
  ErrorCode code_;
  std::string description_;
  std::string detail_;
};

enum class Cipher { kAes256, kAes128, kRc4_128 };

// The cipher of a name as the command line takes it: "aes-256", "aes-128"
// or "rc4-128"; false for any other name.
VARNEL_API bool CipherNamed(const std::string& name, Cipher* cipher);

// A recipient's X.509 certificate, PEM (each certificate of the file) or
// DER: the file at path, or these bytes when they are not empty.
struct Certificate {
  std::string path;
  std::string bytes;
};

// A private key with its certificate, PKCS#12 (.p12, .pfx) or PEM: the
// file at path, or these bytes when they are not empty. password opens
// the PKCS#12 file or an encrypted PEM key.
struct Identity {
  std::string path;
  std::string bytes;
  std::string password;
};

struct EncryptOptions {
  std::string user_password;   // UTF-8; empty: anyone opens the document
  std::string owner_password;  // UTF-8; empty: random, nobody keeps it
  // What a user without the owner password may do, letters among
  // P (print) D (degraded print) M (modify) C (copy) A (annotate and fill
  // forms) S (assemble); empty: nothing but reading.
  std::string permissions;
  Cipher cipher = Cipher::kAes256;
  // Opens an encrypted input (its owner password, or a user password that
  // grants modification). Without it an encrypted input fails with kEncrypted.
  std::optional<std::string> input_password;
  bool repair = true;   // false: a damaged input fails with kDamaged
  bool verify = false;  // read the output back and compare it with the input before it is kept
  bool threads = true;  // may use a helper thread for a large document
  // A signed or certified input, or one with usage rights, fails with
  // kSigned unless this is set, since any rewrite invalidates signatures.
  // Either way a signature's /Contents is copied as it is, never encrypted.
  // (An encrypted input, opened with input_password, is rewritten with a
  // notice, as decrypting one is.)
  bool invalidate_signatures = false;
  // Encryption for named recipients' certificates instead of passwords
  // (aes-256 or aes-128; no passwords with them): recipients get the
  // permissions above, owner_recipients every right. A certificate that
  // is expired, not RSA, or whose key usage excludes key encipherment fails
  // with kUsage unless allow_any_certificate.
  std::vector<Certificate> recipients;
  std::vector<Certificate> owner_recipients;
  bool allow_any_certificate = false;
  // Opens an input encrypted for certificates (a recipient whose rights
  // include modification), as input_password opens one with passwords.
  std::optional<Identity> input_identity;
  // With verify and recipients: one recipient's identity, to read the copy back.
  std::optional<Identity> verify_identity;
};

struct DecryptOptions {
  std::string password;  // owner password, or a user password that grants modification
  bool repair = true;
  // For a document encrypted for certificates: a recipient whose rights include modification.
  std::optional<Identity> identity = std::nullopt;
};

// What a call did.
struct Result {
  int64_t objects = 0;      // objects written (or checked)
  int64_t bytes_out = 0;    // size of the output (0 for a check)
  bool repaired = false;    // the input's structure had to be rebuilt to read it
  std::string repair_note;  // what the repair rebuilt and dropped ("repaired: ...")
  std::string warning;      // what opening an encrypted input let pass with a doubt
  // What the output file could not keep of the file it replaced: its owner
  // (only root gives a file to another user), or its other names (hard
  // links still holding the previous content). Empty when nothing.
  std::string output_note;
  // What the copy no longer keeps of what the input promised, a sentence a
  // line: signatures invalidated, a PDF/A or PDF/UA claim the copy breaks
  // ("in.pdf declares PDF/A-2b; an encrypted copy is no longer PDF/A").
  std::string notice;
};

// A signature field that holds a signature.
struct Signature {
  std::string field;      // the field's full name, UTF-8 ("Approval.Manager")
  std::string signed_at;  // when, as the signature says ("2024-05-01 10:30:00 +02:00"); may be empty
};

// What rewriting the document breaks: its signatures, a certification (its
// level: 1 no changes allowed, 2 form filling and signing, 3 also
// annotations; 0 not certified), usage rights, and the conformance its
// metadata claims ("PDF/A-2b", "PDF/UA-1"; empty when none).
struct Promises {
  std::vector<Signature> signatures;
  int certification = 0;
  bool usage_rights = false;
  std::string pdfa;
  std::string pdfua;
};

struct CheckResult : Result, Promises {
  bool encrypted = false;
  // Of a document encrypted for certificates, opened with an identity: how
  // many recipients it names, which one (1-based) the identity is, and
  // that identity's subject ("/CN=Bob"). 0 and empty otherwise.
  int64_t recipients = 0;
  int64_t matched_recipient = 0;
  std::string identity_subject;
  int64_t compressed_objects = 0;  // objects inside object streams
  int64_t sections = 0;            // cross-reference sections read
};

// An input named "-" is standard input, read whole (up to 4 GiB) before it
// is parsed.
//
// Writes the encrypted copy of the file at input to output. The output
// appears complete or not at all: written beside it, flushed to the disk,
// then renamed into place with the mode (and, where allowed, the owner) of
// the file it replaces; it may be the input itself. A symbolic link is
// followed (its target replaced). An output that is no regular file (a
// device, a FIFO) and "-" (standard output) are written directly, once the
// whole copy is made.
VARNEL_API Result EncryptFile(const std::string& input, const std::string& output, const EncryptOptions& options);
// The encrypted copy of a whole document held in memory; no file is touched.
VARNEL_API std::string EncryptBuffer(std::string_view pdf, const EncryptOptions& options, Result* result = nullptr);

// The unencrypted copy: every object kept with its number, strings and
// streams decrypted (stream data not decoded), /Encrypt gone, /ID kept.
VARNEL_API Result DecryptFile(const std::string& input, const std::string& output, const DecryptOptions& options);
VARNEL_API std::string DecryptBuffer(std::string_view pdf, const DecryptOptions& options, Result* result = nullptr);

// Reads every object as the encryptor would (and, given the password of an
// encrypted document, decrypts every string and stream). Throws what
// encrypting it would throw.
VARNEL_API CheckResult CheckFile(const std::string& path, const std::optional<std::string>& password = std::nullopt);
VARNEL_API CheckResult CheckBuffer(std::string_view pdf, const std::optional<std::string>& password = std::nullopt);
// The same for a document encrypted for certificates, opened with identity.
VARNEL_API CheckResult CheckFile(const std::string& path, const Identity& identity);
VARNEL_API CheckResult CheckBuffer(std::string_view pdf, const Identity& identity);

// Why options cannot be used, in a sentence (empty when they can): a
// permission letter unknown, a password the cipher's passwords cannot hold.
VARNEL_API std::string EncryptOptionsProblem(const EncryptOptions& options);
// Notes on options accepted with a caveat (a password longer than the
// cipher counts), each a line "varnel: note: ...".
VARNEL_API std::string EncryptOptionsNotes(const EncryptOptions& options);

// A program (not a library, whose host owns its signals) may ask for
// handlers of SIGINT, SIGTERM and SIGHUP that remove every temporary output
// file and end the process: HandleSignals first, and the first output
// opened installs them. A program that handles those signals itself says so
// with LeaveSignalsAlone before any output is opened, and calls
// RemoveTemporaryFiles (async-signal-safe) when it ends the process.
VARNEL_API void HandleSignals();
VARNEL_API void LeaveSignalsAlone();
VARNEL_API void RemoveTemporaryFiles();

// What a reader may do with a document opened by its user password, as
// the permission bits (/P) of its revision grant it; the names are those of
// qpdf's --show-encryption. An unencrypted document allows everything.
struct Permissions {
  bool extract_for_accessibility = true;
  bool extract_for_any_purpose = true;
  bool print_low_resolution = true;
  bool print_high_resolution = true;
  bool modify_document_assembly = true;
  bool modify_forms = true;
  bool modify_annotations = true;
  bool modify_other = true;
  bool modify_anything = true;
};

// How a document is protected: what its Encrypt dictionary says.
struct Protection : Promises {
  bool encrypted = false;        // false: the fields below keep their defaults
  std::string security_handler;  // the /Filter, without its slash: "Standard"
  int revision = 0;              // /R
  int algorithm = 0;             // /V
  int key_bits = 0;              // the file key's length; 0 when the dictionary gives none Varnel knows
  // The method of each kind of data: "none", "RC4", "AESv2", "AESv3" or
  // "unknown" (a crypt filter Varnel does not read). Attachments: embedded
  // files' streams (/EFF).
  std::string strings, streams, attachments;
  bool metadata_encrypted = true;  // /EncryptMetadata
  int32_t permission_bits = 0;     // /P as stored
  Permissions permissions;
  // Of the public-key handler ("Adobe.PubSec"): how many recipients its
  // envelopes name. Each has rights of its own, sealed in its envelope:
  // permission_bits and permissions then say nothing.
  int64_t recipients = 0;
  // Given a password: which one it is, "user" or "owner" (it throws
  // kWrongPassword when neither). Empty when none was given.
  std::string opened_with;
  bool repaired = false;  // as in Result (only when a password was given)
  std::string repair_note;
  std::string warning;  // what opening with the password let pass with a doubt
  // Opened with an identity (the public-key handler): which recipient
  // (1-based) it is and its subject ("/CN=Bob"); permission_bits and
  // permissions are then that recipient's rights.
  int64_t matched_recipient = 0;
  std::string identity_subject;
  // Whether the Promises are known: when the document is not encrypted or
  // was opened (an encrypted document's field names and dates cannot be
  // read without its key).
  bool promises_known = false;
};

// Reads a document's structure and its Encrypt dictionary without opening
// its encryption; with a password, also opens it as the other calls do
// (repairing a damaged file). Without one, a file that cannot be read as
// written fails with kDamaged: repairing an encrypted file needs its key.
VARNEL_API Protection ShowFile(const std::string& path, const std::optional<std::string>& password = std::nullopt);
VARNEL_API Protection ShowBuffer(std::string_view pdf, const std::optional<std::string>& password = std::nullopt);
// The same, opening a document encrypted for certificates with identity.
VARNEL_API Protection ShowFile(const std::string& path, const Identity& identity);
VARNEL_API Protection ShowBuffer(std::string_view pdf, const Identity& identity);

// "0.2.0".
VARNEL_API const char* Version();
// The crypto library the platform lends: "OpenSSL 3.0.15 3 Sep 2024", ...
VARNEL_API const char* CryptoLibraryVersion();

}  // namespace varnel
