#pragma once
#include <string>
#include <vector>

// The program's arguments as UTF-8, the form in which the tool hands file
// names and passwords on. On Windows the narrow arguments that main receives
// are in the ANSI code page, which turns every character outside it into
// "?"; they are taken from the wide-character command line instead. Elsewhere
// the arguments are kept as they are.
class Utf8Arguments {
 public:
  Utf8Arguments(int argc, char** argv);
  Utf8Arguments(const Utf8Arguments&) = delete;
  Utf8Arguments& operator=(const Utf8Arguments&) = delete;

  // An environment variable as UTF-8 (on Windows read through the wide API
  // for the same reason); false when it is not set.
  static bool Environment(const char* name, std::string* value);

  int argc() const { return static_cast<int>(arguments_.size()); }
  // Null-terminated, like main's argv; valid while this object lives.
  char** argv() { return pointers_.data(); }

 private:
  std::vector<std::string> arguments_;
  std::vector<char*> pointers_;
};
