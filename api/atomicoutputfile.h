#pragma once
#include <fstream>
#include <string>

// An output file that appears only when complete: data is written into a
// temporary file beside the destination, which Commit renames into place.
// Until then, and on any failure, the destination is untouched; the
// temporary file is removed when the object is destroyed without Commit, and
// also when the process is interrupted (SIGINT, SIGTERM). Several may be open
// at once, on several threads.
class AtomicOutputFile {
 public:
  explicit AtomicOutputFile(const std::string& destination);
  ~AtomicOutputFile();
  AtomicOutputFile(const AtomicOutputFile&) = delete;
  AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;

  std::ostream& stream() { return stream_; }
  // Where the data are written until Commit (for reading them back).
  const std::string& temp_path() const { return temp_path_; }
  // Closes the temporary file and renames it to the destination.
  void Commit();

  // A program (not a library, whose host owns its signals) may ask for
  // handlers of SIGINT and SIGTERM that remove every temporary file and end
  // the process: HandleSignals first, and the first output opened installs
  // them. A program that handles those signals itself says so with
  // LeaveSignalsAlone before any output is opened, and calls
  // RemoveTemporaryFiles (async-signal-safe) when it ends the process.
  static void HandleSignals();
  static void LeaveSignalsAlone();
  static void RemoveTemporaryFiles();

 private:
  void Discard();
  void Unregister();

  std::string destination_;
  std::string temp_path_;
  std::ofstream stream_;
  bool committed_ = false;
  int slot_ = -1;  // in the table of temporary files to remove on a signal
};
