#include "crypt/rc4keypipeline.h"

#include <cstdint>

#include "crypt/pdfstandardsecurityhandler.h"

Rc4KeyPipeline::Rc4KeyPipeline(const PdfStandardSecurityHandler& handler, std::vector<Job> jobs, size_t ring)
    : handler_(handler), jobs_(std::move(jobs)), ring_(ring == 0 ? 1 : ring) {
  thread_ = std::thread([this] { Run(); });
}

Rc4KeyPipeline::~Rc4KeyPipeline() {
  stop_.store(true);
  Wake();
  if (thread_.joinable()) thread_.join();
}

bool Rc4KeyPipeline::Worthwhile(size_t objects) { return objects >= 256 && std::thread::hardware_concurrency() >= 2; }

bool Rc4KeyPipeline::ProducerMayGo() const {
  // Half the ring free (at least one slot): the writer then wakes this
  // thread once per half ring, not once per object.
  return produced_.load() + (ring_.size() + 1) / 2 <= consumed_.load() + ring_.size();
}

void Rc4KeyPipeline::Wake() {
  // Taking the lock orders this with a waiter that has checked its
  // condition but not yet started to wait.
  { std::lock_guard<std::mutex> lock(mutex_); }
  wake_.notify_all();
}

void Rc4KeyPipeline::Run() {
  try {
    for (size_t p = 0; p < jobs_.size(); ++p) {
      if (p >= consumed_.load() + ring_.size()) {
        std::unique_lock<std::mutex> lock(mutex_);
        producer_waiting_.store(true);
        wake_.wait(lock, [this] { return stop_.load() || ProducerMayGo(); });
        producer_waiting_.store(false);
      }
      if (stop_.load()) return;
      const Job& job = jobs_[p];
      uint8_t key[PdfStandardSecurityHandler::kKeyBytes];
      handler_.ObjectKey(static_cast<int>(job.number), static_cast<int>(job.generation), key);
      ring_[p % ring_.size()].emplace(key, sizeof key);
      produced_.store(p + 1);
      if (consumer_waiting_.load()) Wake();
    }
  } catch (...) {
    failed_.store(true);
    Wake();
  }
}

bool Rc4KeyPipeline::Take(size_t position, int64_t number, int64_t generation, std::optional<Rc4>* cipher) {
  if (position > UINT32_MAX) return false;
  while (cursor_ < jobs_.size() && jobs_[cursor_].position < position) ++cursor_;
  if (cursor_ == jobs_.size() || jobs_[cursor_].position != position) return false;
  const size_t c = cursor_;
  if (static_cast<int64_t>(jobs_[c].number) != number || static_cast<int64_t>(jobs_[c].generation) != generation)
    return false;
  // The ciphers of jobs passed over are not wanted: their slots are free.
  if (consumed_.load() != c) {
    consumed_.store(c);
    if (producer_waiting_.load() && ProducerMayGo()) Wake();
  }
  if (produced_.load() <= c && !failed_.load()) {
    std::unique_lock<std::mutex> lock(mutex_);
    consumer_waiting_.store(true);
    wake_.wait(lock, [this, c] { return produced_.load() > c || failed_.load(); });
    consumer_waiting_.store(false);
  }
  if (produced_.load() <= c) return false;
  *cipher = ring_[c % ring_.size()];
  ++cursor_;
  consumed_.store(c + 1);
  if (producer_waiting_.load() && ProducerMayGo()) Wake();
  return true;
}
