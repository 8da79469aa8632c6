#pragma once
#include <string>
#include <vector>

struct PdfRepairReport;

// The command-line tool's commands. Each returns the process exit status:
// 0 success, 1 failure (a message was printed), 2 usage error, 130
// interrupted.

// Reads each file the way the encryptor will: every cross-reference section,
// every object the document lists, every object stream decoded. One line per
// file on standard output.
int RunCheck(const std::vector<std::string>& files);

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
  std::string input_password;           // UTF-8; opens an encrypted input (not yet used)
  bool repair = true;  // false: a damaged file is refused, not repaired
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

// The line that tells what a repair did: "repaired: ..." (what was rebuilt,
// what was dropped, and why the file could not be read as written).
std::string DescribeRepair(const PdfRepairReport& report);

// Turns whatever was thrown into the text shown to the user.
std::string DescribeCurrentException();
