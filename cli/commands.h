#pragma once
#include <memory>
#include <string>
#include <vector>

namespace varnel {
struct Promises;
}

// The command-line tool's commands. Each returns the process exit status:
// 0 success, 1 failure (a message was printed), 2 usage error, 3 the
// password does not open the encrypted input, 130 interrupted.

// Reads each file the way the encryptor will: every cross-reference section,
// every object the document lists, every object stream decoded. One line per
// file on standard output.
// With a password, encrypted files are opened with it and every string and
// stream decrypted.
// A private key with its certificate (--identity): the file, PKCS#12 or
// PEM, and the password that opens it. An empty path: none.
struct IdentityOption {
  std::string path;
  std::string password;  // UTF-8, as typed
};
// With an identity, files encrypted for certificates are opened with it.
int RunCheck(const std::vector<std::string>& files, const std::string* password = nullptr,
             const IdentityOption& identity = {});

// How each file is protected (its Encrypt dictionary, the rights it
// grants), on standard output as lines or, with json, one JSON object a
// file. With a password (or an identity), encrypted files are opened with it too. Exit
// status, for scripts as qpdf's --is-encrypted: 0 every file is encrypted,
// 2 one is not; a failure gives the failure's status instead.
int RunShow(const std::vector<std::string>& files, const std::string* password, const IdentityOption& identity,
            bool json);
// What rewriting a document breaks (its signatures, a certification, usage
// rights) and the conformance it claims, a line each.
void ReportPromises(const varnel::Promises& c);

// The ciphers --cipher names.
const std::vector<std::string>& CipherNames();
// The cipher used when none is named.
extern const char* const kDefaultCipher;

// One file to encrypt and how.
struct EncryptOptions {
  std::string input;
  std::string output;
  std::string user_password;   // UTF-8, as typed
  std::string owner_password;  // UTF-8, as typed
  std::string permissions;
  std::string cipher = kDefaultCipher;  // one of CipherNames()
  // Opens an encrypted input (owner password, or a user password that
  // grants modification) when has_input_password; without one the input
  // must not be encrypted.
  std::string input_password;  // UTF-8, as typed
  bool has_input_password = false;
  bool repair = true;  // false: a damaged file is refused, not repaired
  // Reopens the output with the new passwords and compares every object
  // with the input before it is renamed into place.
  bool verify = false;
  bool invalidate_signatures = false;  // a signed input is encrypted, not refused
  // Certificates (PEM or DER files) to encrypt for instead of passwords:
  // recipients with the permissions, owner recipients with every right.
  std::vector<std::string> recipients;
  std::vector<std::string> owner_recipients;
  bool allow_any_certificate = false;  // expired, non-RSA ... certificates too
  IdentityOption input_identity;       // opens an input encrypted for certificates
  IdentityOption verify_identity;      // with verify and recipients: reads the copy back
};

// How a run over one or more files goes.
struct RunSettings {
  unsigned jobs = 0;       // files encrypted at once; 0: one per core
  bool fail_fast = false;  // start no more files after a failure
  bool json = false;       // JSON Lines records on standard output
  bool quiet = false;      // no progress, notes or summary line
  bool batch = false;      // several files (--output-dir, --batch): progress, summary, Ctrl-C finishes
};

// Encrypts every file of the list (already validated), each output
// atomically.
int RunEncrypt(const std::vector<EncryptOptions>& files, const RunSettings& settings);

struct DecryptOptions {
  std::string input;            // "-": standard input
  std::string output;           // "-": standard output
  std::string password;         // UTF-8, as typed
  bool password_given = false;  // false: none came from an option, a file or the environment
  bool repair = true;           // false: a damaged file is refused, not repaired
  IdentityOption identity;      // for a file encrypted for certificates
};

// Writes the unencrypted copy of input to output atomically.
int RunDecrypt(const DecryptOptions& options);

// The password for an encrypted input: the option's value when given, else
// the environment variable env. Null when neither is there.
std::unique_ptr<std::string> InputPassword(const char* env, bool option_given, const std::string& option);

namespace varnel {
class Error;
}
// Prints what opening an encrypted file let pass with a doubt (a /Perms
// that disagrees with /P), as "varnel: FILE: warning: ...".
void ReportDecryptionWarning(const std::string& warning, const std::string& file);

// The exit status for a failure: 3 for a wrong password, 1 for anything else.
int FailureStatus(const varnel::Error& error);
