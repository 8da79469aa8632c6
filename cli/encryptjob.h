#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "varnel/varnel.h"

// Why one file failed: the library's code, the sentence a person reads, and
// the library's own text (for JSON's detail).
struct FileError {
  varnel::ErrorCode code;
  std::string message;
  std::string detail;
};

// Each line of notice as a line "varnel: note: LINE".
std::string NoteLines(const std::string& notice);

// What became of one file.
struct FileResult {
  std::string input;
  std::string output;
  std::optional<FileError> error;  // none: the output was written
  double seconds = 0;
  int64_t bytes_in = 0;
  int64_t bytes_out = 0;
  int64_t objects = 0;
  bool repaired = false;    // the input's structure was rebuilt to read it
  std::string repair_note;  // what the repair did ("repaired: ...")
  std::string warning;      // what opening an encrypted input let pass with a doubt
  std::string output_note;  // what the output could not keep of the file it replaced
  std::string notice;       // what the copy breaks of what the input promised, a line each
};

// Encrypts one file into its output through the library's EncryptFile,
// atomically: the output appears complete or not at all. Never throws; a
// failure is in the result.
class EncryptJob {
 public:
  // helper_threads: whether the library may add threads of its own for a
  // large document (off when files are already encrypted one per core).
  static FileResult Run(const EncryptOptions& options, bool helper_threads);

  // Why options cannot be used (an empty text when they can): a cipher or
  // permission letter unknown, a password that PDF passwords cannot hold.
  static std::string Validate(const EncryptOptions& options);
  // Notes on options that are accepted with a caveat (a password longer
  // than the cipher counts), each a line "varnel: note: ...".
  static std::string Notes(const EncryptOptions& options);
  // Notes on what the passwords of a run mean: copies that open without a
  // password, user and owner passwords that are the same.
  static std::string PasswordNotes(const std::vector<EncryptOptions>& files);
};
