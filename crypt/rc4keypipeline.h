#pragma once
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "crypt/pdfobjectcipher.h"
#include "crypt/rc4.h"

class PdfStandardSecurityHandler;

// Runs each object's key derivation (one MD5) and RC4 key schedule ahead of
// the writer, on a second thread, in the order the objects will be written.
// In a file of many small objects these are most of what an object costs;
// on a second core they overlap with reading and formatting. The writer
// takes an object's cipher when it reaches the object; whatever it cannot
// take (asked out of order, or the thread failed) it computes itself, so the
// output never depends on the thread.
class Rc4KeyPipeline {
 public:
  using Job = PdfObjectCipher::Planned;

  // Starts the thread (throws std::system_error when it cannot). jobs are in
  // increasing position; ring is how many ciphers may wait ready ahead of
  // the writer. The handler must outlive the pipeline.
  Rc4KeyPipeline(const PdfStandardSecurityHandler& handler, std::vector<Job> jobs, size_t ring = 1024);
  ~Rc4KeyPipeline();
  Rc4KeyPipeline(const Rc4KeyPipeline&) = delete;
  Rc4KeyPipeline& operator=(const Rc4KeyPipeline&) = delete;

  // The cipher of the object at position, when a job names it with this
  // number and generation and the writer has not gone past it; positions
  // asked for must not decrease. False: the caller runs the schedule.
  bool Take(size_t position, int64_t number, int64_t generation, std::optional<Rc4>* cipher);

  // Whether a document writing this many objects gains from the thread.
  static bool Worthwhile(size_t objects);

 private:
  void Run();
  bool ProducerMayGo() const;
  void Wake();

  const PdfStandardSecurityHandler& handler_;
  const std::vector<Job> jobs_;
  std::vector<std::optional<Rc4>> ring_;
  size_t cursor_ = 0;  // the writer's next job (its thread only)

  std::atomic<size_t> produced_{0};  // jobs whose cipher is in the ring
  std::atomic<size_t> consumed_{0};  // jobs the writer is done with
  std::atomic<bool> failed_{false};
  std::atomic<bool> stop_{false};
  std::atomic<bool> producer_waiting_{false};
  std::atomic<bool> consumer_waiting_{false};
  std::mutex mutex_;
  std::condition_variable wake_;
  std::thread thread_;
};
