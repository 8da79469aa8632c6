#include "cli/batchrunner.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <system_error>
#include <thread>
#include <utility>

#ifdef _WIN32
#include <io.h>
#define VARNEL_ISATTY(f) _isatty(_fileno(f))
#else
#include <unistd.h>
#define VARNEL_ISATTY(f) isatty(fileno(f))
#endif

namespace {

// JSON's warning: what opening the input let pass, and what the copy breaks.
std::string Warning(const FileResult& r) {
  std::string text = r.warning;
  if (!text.empty() && !r.notice.empty()) text += "\n";
  text += r.notice;
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

// The first signal received, 0 before.
std::atomic<int> g_signal{0};

extern "C" void OnInterrupt(int sig) {
  int none = 0;
  if (g_signal.compare_exchange_strong(none, sig)) {
    std::signal(sig, OnInterrupt);  // Windows resets the handler on delivery
    return;
  }
  varnel::RemoveTemporaryFiles();
  std::signal(sig, SIG_DFL);
  std::raise(sig);
}

const char* StatusName(bool ok) { return ok ? "ok" : "failed"; }

std::string Dump(const nlohmann::json& record) {
  // File names need not be UTF-8; what is not comes out as U+FFFD.
  return record.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

int64_t FileSize(const std::string& name) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(std::filesystem::u8path(name), ec);
  return ec ? 0 : static_cast<int64_t>(size);
}

}  // namespace

BatchRunner::BatchRunner(std::vector<EncryptOptions> files, const RunSettings& settings)
    : files_(std::move(files)), settings_(settings), status_(files_.size(), Status::kPending) {}

BatchRunner::~BatchRunner() = default;

bool BatchRunner::Stopping() const { return g_signal.load() != 0 || failed_fast_.load(); }

void BatchRunner::Say(const std::string& text) {
  if (text.empty()) return;
  if (progress_) progress_->Clear();
  std::fputs(text.c_str(), stderr);
  std::fflush(stderr);
}

void BatchRunner::PrintRecord(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
}

void BatchRunner::Report(size_t index, const FileResult& r) {
  std::lock_guard<std::mutex> lock(mutex_);
  const bool ok = !r.error.has_value();
  status_[index] = ok ? Status::kOk : Status::kFailed;
  ++done_;
  ++(ok ? ok_ : failed_);
  bytes_in_ += r.bytes_in;
  bytes_out_ += r.bytes_out;
  if (!ok) Say("varnel: " + r.error->message + "\n");
  if (!ok && r.error->code == varnel::ErrorCode::kWrongPassword) wrong_password_ = true;
  if (ok && r.repaired && !settings_.quiet) Say("varnel: " + r.input + ": " + r.repair_note + "\n");
  if (!r.warning.empty()) Say("varnel: " + r.input + ": warning: " + r.warning + "\n");
  Say(NoteLines(r.output_note));
  Say(NoteLines(r.notice));
  if (settings_.json) {
    nlohmann::json record = {
        {"type", "file"},
        {"input", r.input},
        {"output", r.output},
        {"status", StatusName(ok)},
        {"code", ok ? nullptr : nlohmann::json(varnel::ErrorCodeName(r.error->code))},
        {"message", ok ? nullptr : nlohmann::json(r.error->message)},
        {"detail", ok ? nullptr : nlohmann::json(r.error->detail)},
        {"seconds", r.seconds},
        {"bytes_in", r.bytes_in},
        {"bytes_out", r.bytes_out},
        {"objects", r.objects},
        {"repaired", r.repaired},
        {"warning", r.warning.empty() && r.notice.empty() ? nullptr : nlohmann::json(Warning(r))},
        {"note", r.output_note.empty() ? nullptr : nlohmann::json(r.output_note)},
    };
    PrintRecord(Dump(record));
  }
}

void BatchRunner::Work() {
  while (!Stopping()) {
    const size_t index = next_.fetch_add(1);
    if (index >= files_.size()) break;
    const FileResult result = EncryptJob::Run(files_[index], helper_threads_);
    if (result.error && settings_.fail_fast) failed_fast_.store(true);
    Report(index, result);
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (--workers_left_ == 0) changed_.notify_all();
}

void BatchRunner::Summarize(double seconds, int exit_status) {
  const size_t skipped = files_.size() - done_;
  const bool interrupted = g_signal.load() != 0;
  if (settings_.json) {
    for (size_t i = 0; i < files_.size(); ++i) {
      if (status_[i] != Status::kPending) continue;
      const std::string why =
          interrupted ? "not started: interrupted" : "not started: an earlier file failed (--fail-fast)";
      PrintRecord(Dump({{"type", "file"},
                        {"input", files_[i].input},
                        {"output", files_[i].output},
                        {"status", "skipped"},
                        {"code", nullptr},
                        {"message", why},
                        {"detail", nullptr},
                        {"seconds", 0},
                        {"bytes_in", 0},
                        {"bytes_out", 0},
                        {"objects", 0},
                        {"repaired", false},
                        {"warning", nullptr},
                        {"note", nullptr}}));
    }
    PrintRecord(Dump({{"type", "summary"},
                      {"files", files_.size()},
                      {"ok", ok_},
                      {"failed", failed_},
                      {"skipped", skipped},
                      {"interrupted", interrupted},
                      {"seconds", seconds},
                      {"bytes_in", bytes_in_},
                      {"bytes_out", bytes_out_},
                      {"exit_status", exit_status}}));
  }
  if (settings_.batch && !settings_.quiet) {
    char line[200];
    std::snprintf(line, sizeof line, "varnel: %zu of %zu files encrypted, %zu failed, %zu not started%s (%.1f s)\n",
                  ok_, files_.size(), failed_, skipped, interrupted ? ", interrupted" : "", seconds);
    Say(line);
  }
}

int BatchRunner::Run() {
  const auto start = std::chrono::steady_clock::now();
  unsigned jobs = settings_.jobs != 0 ? settings_.jobs : std::thread::hardware_concurrency();
  // Never more threads than cores: the library's own helper threads are
  // turned off when each core already has a file.
  jobs = std::max(1u, std::min({jobs, std::max(1u, std::thread::hardware_concurrency()),
                                static_cast<unsigned>(std::min<size_t>(files_.size(), 1u << 16))}));
  helper_threads_ = jobs == 1;
  if (settings_.batch) {
    varnel::LeaveSignalsAlone();
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
#ifdef SIGHUP
    std::signal(SIGHUP, OnInterrupt);  // a closed terminal ends a run as SIGTERM does
#endif
  }
  if (settings_.batch && !settings_.quiet && VARNEL_ISATTY(stderr)) {
    for (const EncryptOptions& f : files_) total_bytes_ += FileSize(f.input);
    progress_ = std::make_unique<ProgressMeter>(stderr, files_.size(), total_bytes_);
  }
  auto elapsed = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); };

  std::vector<std::thread> threads;
  if (settings_.batch) {
    for (unsigned i = 0; i < jobs; ++i) {
      std::lock_guard<std::mutex> lock(mutex_);
      ++workers_left_;
      try {
        threads.emplace_back(&BatchRunner::Work, this);
      } catch (const std::system_error&) {
        --workers_left_;  // fewer threads to be had: the others share the files
        break;
      }
    }
  }
  if (threads.empty()) {
    workers_left_ = 1;
    Work();
  } else {
    // This thread only reports, a few times a second; it is woken early
    // only when the last worker ends.
    std::unique_lock<std::mutex> lock(mutex_);
    bool told = false;
    while (workers_left_ != 0) {
      changed_.wait_for(lock, std::chrono::milliseconds(250));
      if (g_signal.load() != 0 && !told && !settings_.quiet) {
        told = true;
        Say("varnel: interrupted: finishing the files being written (interrupt again to abandon them)\n");
      }
      if (progress_ && workers_left_ != 0) progress_->Show(done_, bytes_in_, elapsed());
    }
  }
  for (std::thread& t : threads) t.join();
  // One file whose password is wrong: 3, as for decrypt and check.
  const bool wrong_password = files_.size() == 1 && failed_ == 1 && wrong_password_;
  const int exit_status = g_signal.load() != 0 ? 128 + g_signal.load() : wrong_password ? 3 : failed_ != 0 ? 1 : 0;
  std::lock_guard<std::mutex> lock(mutex_);
  if (progress_) progress_->Clear();
  Summarize(elapsed(), exit_status);
  return exit_status;
}
