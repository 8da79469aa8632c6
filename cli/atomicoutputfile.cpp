#include "cli/atomicoutputfile.h"

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

// The temporary file to remove if a signal ends the process. A fixed buffer,
// so the handler only calls async-signal-safe functions.
char g_temp_path[4096];

extern "C" void RemoveTempAndExit(int sig) {
  if (g_temp_path[0] != '\0') {
#ifdef _WIN32
    std::remove(g_temp_path);
#else
    unlink(g_temp_path);
#endif
  }
  std::signal(sig, SIG_DFL);
  std::raise(sig);
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
  if (temp_path_.size() < sizeof g_temp_path) {
    std::memcpy(g_temp_path, temp_path_.c_str(), temp_path_.size() + 1);
    std::signal(SIGINT, RemoveTempAndExit);
    std::signal(SIGTERM, RemoveTempAndExit);
  }
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
  g_temp_path[0] = '\0';
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
  g_temp_path[0] = '\0';
}
