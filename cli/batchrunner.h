#pragma once
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/encryptjob.h"
#include "cli/progressmeter.h"

// Encrypts a list of files on a pool of threads: each file as EncryptJob
// does it, a failure reported and the others going on (unless fail_fast).
// Reports go to standard error for people (failures, progress on a
// terminal, a summary) and, with json, to standard output as JSON Lines:
// one record per file, then a summary record.
//
// In a batch, SIGINT or SIGTERM stops the start of new files; those being
// written are finished, the summary is printed and the exit status is 128
// plus the signal. A second signal removes the temporary files of the ones
// in flight and ends the process at once.
class BatchRunner {
 public:
  BatchRunner(std::vector<EncryptOptions> files, const RunSettings& settings);
  ~BatchRunner();

  // The exit status: 0 every file written, 1 some failed, 128 + signal
  // when interrupted.
  int Run();

 private:
  enum class Status { kPending, kOk, kFailed, kSkipped };
  void Work();
  void Report(size_t index, const FileResult& result);
  void Say(const std::string& text);
  void PrintRecord(const std::string& line);
  void Summarize(double seconds, int exit_status);
  bool Stopping() const;

  const std::vector<EncryptOptions> files_;
  const RunSettings settings_;
  bool helper_threads_ = true;
  std::atomic<size_t> next_{0};
  std::atomic<bool> failed_fast_{false};
  bool wrong_password_ = false;  // a file failed for its password

  std::mutex mutex_;  // guards what follows, and all output
  std::condition_variable changed_;
  std::vector<Status> status_;
  size_t done_ = 0;
  size_t ok_ = 0;
  size_t failed_ = 0;
  size_t workers_left_ = 0;
  int64_t bytes_in_ = 0;
  int64_t bytes_out_ = 0;
  int64_t total_bytes_ = 0;
  std::unique_ptr<ProgressMeter> progress_;
};
