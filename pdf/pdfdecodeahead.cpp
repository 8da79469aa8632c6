#include "pdf/pdfdecodeahead.h"

#include "base/kelvraruntimeerror.h"
#include "pdf/pdfdeflatestreamfilter.h"

PdfDecodeAhead::PdfDecodeAhead() {
  thread_ = std::thread([this] { Run(); });
}

PdfDecodeAhead::~PdfDecodeAhead() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

bool PdfDecodeAhead::Full() {
  std::lock_guard<std::mutex> lock(mutex_);
  return jobs_.size() >= kMaxJobs || stored_bytes_ + ready_bytes_ >= kBudgetBytes;
}

void PdfDecodeAhead::Submit(int64_t number, int64_t offset, std::vector<uint8_t> stored) {
  auto job = std::make_unique<Job>();
  job->number = number;
  job->offset = offset;
  job->length = static_cast<int64_t>(stored.size());
  job->data = std::move(stored);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stored_bytes_ += job->data.size();
    jobs_.push_back(std::move(job));
  }
  changed_.notify_all();
}

void PdfDecodeAhead::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    // The oldest queued job, once the results not yet taken leave room.
    Job* job = nullptr;
    changed_.wait(lock, [this, &job] {
      if (stop_) return true;
      job = nullptr;
      for (const auto& j : jobs_) {
        if (j->state == State::kQueued) {
          job = j.get();
          break;
        }
      }
      return job != nullptr && ready_bytes_ < kBudgetBytes;
    });
    if (stop_) return;
    job->state = State::kDecoding;
    std::vector<uint8_t> data = std::move(job->data);
    const size_t stored = data.size();
    lock.unlock();
    State state = State::kDecoded;
    const ErrorCatalogue::Entry* error = nullptr;
    try {
      PdfDeflateStreamFilter::Filter(data, kMaxJobDecodedBytes);
    } catch (const _kelvra_runtime_error& e) {
      // Past this job's bound the reader's own limit decides; any other
      // error is what decoding there would give.
      error = &e.entry();
      state = error == &errtext::kDeflateLimit ? State::kDeclined : State::kFailed;
    } catch (...) {
      state = State::kDeclined;  // out of memory, say: the reader tries itself
    }
    if (state != State::kDecoded) std::vector<uint8_t>().swap(data);
    lock.lock();
    stored_bytes_ -= stored;
    ready_bytes_ += data.size();
    job->data = std::move(data);
    job->error = error;
    job->state = state;
    changed_.notify_all();
  }
}

PdfDecodeAhead::Outcome PdfDecodeAhead::Take(int64_t number, int64_t offset, int64_t length,
                                             std::vector<uint8_t>* decoded, const ErrorCatalogue::Entry** error) {
  std::unique_lock<std::mutex> lock(mutex_);
  Job* job = nullptr;
  for (const auto& j : jobs_) {
    if (j->number == number && j->offset == offset && j->length == length) {
      job = j.get();
      break;
    }
  }
  if (job == nullptr) return Outcome::kNone;
  // The jobs before it are not wanted. All go now but one being decoded
  // (the thread holds it), so that their results do not hold the budget
  // the wanted job may be waiting for.
  std::deque<std::unique_ptr<Job>> kept;
  bool before = true;
  for (auto& j : jobs_) {
    if (j.get() == job) before = false;
    if (before && j->state != State::kDecoding) {
      (j->state == State::kQueued ? stored_bytes_ : ready_bytes_) -= j->data.size();
      continue;
    }
    kept.push_back(std::move(j));
  }
  jobs_.swap(kept);
  changed_.notify_all();
  changed_.wait(lock, [job] { return job->state != State::kQueued && job->state != State::kDecoding; });
  Outcome outcome = Outcome::kNone;
  decoded->clear();
  if (job->state == State::kDecoded) {
    outcome = Outcome::kDecoded;
    decoded->swap(job->data);
  } else if (job->state == State::kFailed) {
    outcome = Outcome::kFailed;
    *error = job->error;
  }
  // The job goes, with the one decoded before it if any (finished by now:
  // the thread decodes in order).
  for (;;) {
    const bool last = jobs_.front().get() == job;
    ready_bytes_ -= jobs_.front()->data.size();
    jobs_.pop_front();
    if (last) break;
  }
  if (outcome == Outcome::kDecoded) ready_bytes_ -= decoded->size();
  lock.unlock();
  changed_.notify_all();
  return outcome;
}
