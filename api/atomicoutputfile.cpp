#include "api/atomicoutputfile.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// The temporary files to remove if a signal ends the process: fixed
// buffers, so that the handler only calls async-signal-safe functions. A
// slot is taken (taken_), filled, then published (ready_); the handler reads
// published slots only.
constexpr int kSlots = 256;
char g_temp_paths[kSlots][4096];
std::atomic<bool> g_taken[kSlots];
std::atomic<bool> g_ready[kSlots];
std::atomic<bool> g_leave_signals{true};

extern "C" void RemoveTempAndExit(int sig) {
  AtomicOutputFile::RemoveTemporaryFiles();
  std::signal(sig, SIG_DFL);
  std::raise(sig);
}

int Register(const std::string& path) {
  if (path.size() >= sizeof g_temp_paths[0]) return -1;
  for (int i = 0; i < kSlots; ++i) {
    bool expected = false;
    if (!g_taken[i].compare_exchange_strong(expected, true)) continue;
    std::memcpy(g_temp_paths[i], path.c_str(), path.size() + 1);
    g_ready[i].store(true, std::memory_order_release);
    return i;
  }
  return -1;
}

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

#ifdef _WIN32
std::wstring Widen(const std::string& s) {
  int n = MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, nullptr, 0);
  std::wstring w(n > 0 ? static_cast<size_t>(n) : 1, L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, &w[0], n);
  w.resize(w.size() - 1);
  return w;
}
#endif

// Creates a new, empty file with a unique name in dir and returns its path.
std::string CreateUniqueFile(const std::string& dir) {
#ifdef _WIN32
  for (unsigned attempt = 0; attempt < 1000; ++attempt) {
    std::string path = dir + "\\.varnel-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount64()) +
                       "-" + std::to_string(attempt) + ".tmp";
    HANDLE h = CreateFileW(Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      CloseHandle(h);
      return path;
    }
  }
  throw std::runtime_error("cannot create a temporary file in " + dir);
#else
  std::string templ = dir + "/.varnel-XXXXXX";
  std::vector<char> buf(templ.begin(), templ.end());
  buf.push_back('\0');
  const int fd = mkstemp(buf.data());
  if (fd < 0) throw std::runtime_error("cannot create a temporary file in " + dir + ": " + std::strerror(errno));
  close(fd);
  return std::string(buf.data());
#endif
}

}  // namespace

AtomicOutputFile::AtomicOutputFile(const std::string& destination) : destination_(destination) {
  temp_path_ = CreateUniqueFile(DirectoryOf(destination));
  slot_ = Register(temp_path_);
  static const bool handlers_installed = [] {
    if (g_leave_signals.load()) return false;
    std::signal(SIGINT, RemoveTempAndExit);
    std::signal(SIGTERM, RemoveTempAndExit);
    return true;
  }();
  (void)handlers_installed;
#ifdef _WIN32
  stream_.open(Widen(temp_path_).c_str(), std::ios::out | std::ios::binary | std::ios::trunc);
#else
  stream_.open(temp_path_, std::ios::out | std::ios::binary | std::ios::trunc);
#endif
  if (!stream_.is_open()) {
    Discard();
    throw std::runtime_error("cannot open a temporary file in " + DirectoryOf(destination));
  }
}

AtomicOutputFile::~AtomicOutputFile() {
  if (!committed_) Discard();
}

void AtomicOutputFile::Discard() {
  if (stream_.is_open()) stream_.close();
#ifdef _WIN32
  DeleteFileW(Widen(temp_path_).c_str());
#else
  unlink(temp_path_.c_str());
#endif
  Unregister();
}

void AtomicOutputFile::Unregister() {
  if (slot_ < 0) return;
  g_ready[slot_].store(false, std::memory_order_release);
  g_taken[slot_].store(false, std::memory_order_release);
  slot_ = -1;
}

void AtomicOutputFile::HandleSignals() { g_leave_signals.store(false); }

void AtomicOutputFile::LeaveSignalsAlone() { g_leave_signals.store(true); }

void AtomicOutputFile::RemoveTemporaryFiles() {
  for (int i = 0; i < kSlots; ++i) {
    if (!g_ready[i].load(std::memory_order_acquire)) continue;
#ifdef _WIN32
    std::remove(g_temp_paths[i]);
#else
    unlink(g_temp_paths[i]);
#endif
  }
}

void AtomicOutputFile::Commit() {
  stream_.close();
  if (stream_.fail()) throw std::runtime_error("cannot write " + destination_);
#ifdef _WIN32
  const bool ok = MoveFileExW(Widen(temp_path_).c_str(), Widen(destination_).c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#else
  // The temporary file was created 0600; give the result the usual mode.
  const mode_t mask = umask(0);
  umask(mask);
  chmod(temp_path_.c_str(), 0666 & ~mask);
  const bool ok = std::rename(temp_path_.c_str(), destination_.c_str()) == 0;
#endif
  if (!ok) throw std::runtime_error("cannot write " + destination_);
  committed_ = true;
  Unregister();
}
