#pragma once
#include <memory>
#include <string>
#include <vector>

// The command-line tool's commands. Each returns the process exit status:
// 0 success, 1 failure (a message was printed), 2 usage error, 3 the
// password does not open the encrypted input.

// Reads each file the way the encryptor will: every cross-reference section,
// every object the document lists, every object stream decoded. One line per
// file on standard output.
// With a password, encrypted files are opened with it and every string and
// stream decrypted.
int RunCheck(const std::vector<std::string>& files, const std::string* password = nullptr);

struct EncryptOptions {
  std::string input;
  std::string output;
  std::string user_password;   // UTF-8, as typed
  std::string owner_password;  // UTF-8, as typed
  std::string permissions;
  std::string cipher = "aes-256";  // rc4-128, aes-128 or aes-256
  // Opens an encrypted input (owner password, or a user password that
  // grants modification); null: the input must not be encrypted.
  const std::string* input_password = nullptr;
  // Reopens the output with the new passwords and compares every object
  // with the input before it is renamed into place.
  bool verify = false;
};

// Writes the encrypted copy of input to output atomically.
int RunEncrypt(const EncryptOptions& options);

struct DecryptOptions {
  std::string input;
  std::string output;
  std::string password;  // UTF-8, as typed
};

// Writes the unencrypted copy of input to output atomically.
int RunDecrypt(const DecryptOptions& options);

// The password for an encrypted input: the option's value when given, else
// the environment variable env. Null when neither is there.
std::unique_ptr<std::string> InputPassword(const char* env, bool option_given, const std::string& option);

class PdfFileParser;
// Prints what opening an encrypted file let pass with a doubt (a /Perms
// that disagrees with /P), as "varnel: FILE: warning: ...".
void ReportDecryptionWarning(const PdfFileParser& parser, const std::string& file);

// Turns whatever was thrown into the text shown to the user.
std::string DescribeCurrentException();
// The exit status for a failure just caught: 3 for a wrong password, 1 for
// anything else. Prints "varnel: FILE: message" first.
int ReportFailure(const std::string& file);
