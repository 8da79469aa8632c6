#pragma once
#include <string>
#include <vector>

struct PdfRepairReport;

// The command-line tool's commands. Each returns the process exit status:
// 0 success, 1 failure (a message was printed), 2 usage error.

// Reads each file the way the encryptor will: every cross-reference section,
// every object the document lists, every object stream decoded. One line per
// file on standard output.
int RunCheck(const std::vector<std::string>& files);

struct EncryptOptions {
  std::string input;
  std::string output;
  std::string user_password;   // UTF-8, as typed
  std::string owner_password;  // UTF-8, as typed
  std::string permissions;
  bool repair = true;  // false: a damaged file is refused, not repaired
};

// Writes the encrypted copy of input to output atomically.
int RunEncrypt(const EncryptOptions& options);

// The line that tells what a repair did: "repaired: ..." (what was rebuilt,
// what was dropped, and why the file could not be read as written).
std::string DescribeRepair(const PdfRepairReport& report);

// Turns whatever was thrown into the text shown to the user.
std::string DescribeCurrentException();
