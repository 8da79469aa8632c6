#pragma once
#include <istream>
#include <string>
#include <vector>

#include "cli/commands.h"

// The files of a run and the options of each, gathered and checked before
// anything is written: every option valid, no output named twice, no output
// that would overwrite another file's input.
class BatchList {
 public:
  // Each input written into output_dir under its own name, with suffix
  // before the extension ("a.pdf" with "-enc": "DIR/a-enc.pdf"); every file
  // with the options of defaults.
  bool AddInputs(const std::vector<std::string>& inputs, const std::string& output_dir, const std::string& suffix,
                 const EncryptOptions& defaults);
  // One JSON object a line (blank lines skipped): "input", "output" (or,
  // without it, the name made as above when output_dir is given), and
  // any of "user_password", "owner_password", "permissions", "cipher",
  // "input_password", which override defaults for that file.
  bool AddJsonLines(std::istream& in, const std::string& output_dir, const std::string& suffix,
                    const EncryptOptions& defaults);
  // One file, its options checked; where names it in a refusal.
  bool AddFile(EncryptOptions file, const std::string& where);
  // Refuses two files with one output, and an output that is another
  // file's input (a file may be its own output).
  bool CheckClashes();

  const std::vector<EncryptOptions>& files() const { return files_; }
  // Why the last call returned false.
  const std::string& error() const { return error_; }

 private:
  bool Fail(std::string why);
  // AddFile for a file of a batch, which cannot be "-".
  bool AddBatched(EncryptOptions file, const std::string& where);

  std::vector<EncryptOptions> files_;
  std::string error_;
};
