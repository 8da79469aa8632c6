#pragma once
#include <memory>
#include <ostream>
#include <string>

class FileOutputBuffer;
class PdfStream;

// An output file that appears only when complete. For a regular file (or a
// new one) the data go into a temporary file created beside the destination
// (".varnel-" and six letters, mode 0600 while a file it replaces is being
// copied, else as the umask makes a new file), which Commit gives the mode
// and owner of the file it replaces, flushes to the disk and renames into
// place. The temporary file is handled only through its descriptor: by name
// it is only created and renamed. A symbolic link at the destination is
// followed: its target is replaced, the link kept. A destination that is no
// regular file (a device, a FIFO, "-" for standard output) is written
// directly, once the whole content is known, so that a failure writes
// nothing there either.
//
// Until Commit, and on any failure, the destination is untouched; the
// temporary file is removed when the object is destroyed without Commit, and
// also when the process is interrupted (SIGINT, SIGTERM, SIGHUP). Only
// SIGKILL or a crash can leave one. Several may be open at once, on several
// threads.
class AtomicOutputFile {
 public:
  explicit AtomicOutputFile(const std::string& destination);
  ~AtomicOutputFile();
  AtomicOutputFile(const AtomicOutputFile&) = delete;
  AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;

  std::ostream& stream() { return *stream_; }
  // A stream over everything written so far (the stream is flushed first),
  // read from the file being written, not by its name. Valid until Commit.
  std::unique_ptr<PdfStream> ReadBack();
  // Throws, as Commit would, when a write into the file has failed (the
  // disk full, ...): the reason of a failure that the writer saw as a bad
  // stream.
  void ThrowIfWriteFailed() const;
  // Puts the file in place; throws std::runtime_error ("cannot write NAME:
  // reason") when it cannot.
  void Commit();
  // After Commit: what the new file could not keep of the one it replaced
  // (its owner, the other names it had), in a sentence; empty when nothing.
  const std::string& note() const { return note_; }

  // A program (not a library, whose host owns its signals) may ask for
  // handlers of SIGINT, SIGTERM and SIGHUP that remove every temporary file
  // and end the process: HandleSignals first, and the first output opened
  // installs them. A program that handles those signals itself says so with
  // LeaveSignalsAlone before any output is opened, and calls
  // RemoveTemporaryFiles (async-signal-safe) when it ends the process.
  static void HandleSignals();
  static void LeaveSignalsAlone();
  static void RemoveTemporaryFiles();

 private:
  struct Platform;
  [[noreturn]] void Fail(const std::string& why) const;
  void Discard();

  std::string destination_;
  std::unique_ptr<Platform> platform_;
  std::unique_ptr<FileOutputBuffer> buffer_;
  std::unique_ptr<std::ostream> stream_;
  std::string note_;
  bool committed_ = false;
};
