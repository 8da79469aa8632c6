#pragma once
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/errorcatalogue.h"

// Inflates Flate-encoded object streams ahead of the reader, on a second
// thread. The reader reads each stream's stored bytes itself and submits
// them in the order it expects to need them; when it gets to one it takes
// the decoded bytes, or the error inflating gave, instead of inflating
// them. Memory stays bounded: at most kMaxJobs jobs wait, the results not
// yet taken hold at most about kBudgetBytes, and a stream that decodes to
// more than kMaxJobDecodedBytes is declined (the reader then decodes it
// itself, under its own limits).
class PdfDecodeAhead {
 public:
  static constexpr size_t kMaxJobs = 16;
  static constexpr size_t kBudgetBytes = size_t{32} << 20;
  static constexpr size_t kMaxJobDecodedBytes = size_t{16} << 20;

  enum class Outcome { kNone, kDecoded, kFailed };

  // Starts the thread (throws std::system_error when it cannot).
  PdfDecodeAhead();
  ~PdfDecodeAhead();
  PdfDecodeAhead(const PdfDecodeAhead&) = delete;
  PdfDecodeAhead& operator=(const PdfDecodeAhead&) = delete;

  // Whether another job would go beyond the limits.
  bool Full();
  // Queues the stored bytes of object stream number, found at offset.
  void Submit(int64_t number, int64_t offset, std::vector<uint8_t> stored);
  // The result for object stream number with its data at offset and of
  // stored length: waits for it, then gives the decoded bytes (kDecoded) or
  // the error's entry (kFailed). kNone when no such job was submitted or it
  // was declined. Jobs queued before it are dropped.
  Outcome Take(int64_t number, int64_t offset, int64_t length, std::vector<uint8_t>* decoded,
               const ErrorCatalogue::Entry** error);

 private:
  enum class State { kQueued, kDecoding, kDecoded, kFailed, kDeclined };
  struct Job {
    int64_t number = 0;
    int64_t offset = 0;
    int64_t length = 0;
    std::vector<uint8_t> data;  // stored bytes, then decoded ones
    const ErrorCatalogue::Entry* error = nullptr;
    State state = State::kQueued;
  };
  void Run();

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::unique_ptr<Job>> jobs_;  // in submission order
  size_t stored_bytes_ = 0;                // held by queued jobs
  size_t ready_bytes_ = 0;                 // held by finished jobs
  bool stop_ = false;
  std::thread thread_;
};
