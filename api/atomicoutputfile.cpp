#include "api/atomicoutputfile.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <random>
#include <stdexcept>
#include <system_error>

#include "api/fileoutputbuffer.h"
#include "base/pdfmemorystream.h"
#include "writer/zipostringstream.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// The temporary files to remove if a signal ends the process: fixed
// buffers, so that the handler only calls async-signal-safe functions. A
// slot is taken (taken_), filled, then published (ready_); the handler reads
// published slots only.
constexpr int kSlots = 256;
#ifdef _WIN32
wchar_t g_temp_paths[kSlots][1024];
#else
int g_temp_dirs[kSlots];
char g_temp_names[kSlots][64];
#endif
std::atomic<bool> g_taken[kSlots];
std::atomic<bool> g_ready[kSlots];
std::atomic<bool> g_leave_signals{true};

extern "C" void RemoveTempAndExit(int sig) {
  AtomicOutputFile::RemoveTemporaryFiles();
  std::signal(sig, SIG_DFL);
  std::raise(sig);
}

void InstallHandlers() {
  static const bool installed = [] {
    if (g_leave_signals.load()) return false;
    std::signal(SIGINT, RemoveTempAndExit);
    std::signal(SIGTERM, RemoveTempAndExit);
#ifdef SIGHUP
    std::signal(SIGHUP, RemoveTempAndExit);
#endif
    return true;
  }();
  (void)installed;
}

// A slot for a temporary file, filled by fill(i); -1 when all are taken.
template <typename Fill>
int Register(Fill fill) {
  for (int i = 0; i < kSlots; ++i) {
    bool expected = false;
    if (!g_taken[i].compare_exchange_strong(expected, true)) continue;
    fill(i);
    g_ready[i].store(true, std::memory_order_release);
    return i;
  }
  return -1;
}

void Unregister(int* slot) {
  if (*slot < 0) return;
  g_ready[*slot].store(false, std::memory_order_release);
  g_taken[*slot].store(false, std::memory_order_release);
  *slot = -1;
}

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// ".varnel-" and six random letters or digits.
std::string TemporaryName() {
  static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  thread_local std::mt19937_64 random(std::random_device{}() ^ reinterpret_cast<uintptr_t>(&random));
  std::string name = ".varnel-";
  for (int i = 0; i < 6; ++i) name += kLetters[random() % (sizeof kLetters - 1)];
  return name;
}

#ifdef _WIN32
std::wstring Widen(const std::string& s) {
  int n = MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, nullptr, 0);
  std::wstring w(n > 0 ? static_cast<size_t>(n) : 1, L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, &w[0], n);
  w.resize(w.size() - 1);
  return w;
}

std::string LastError() { return std::system_category().message(static_cast<int>(GetLastError())); }
#else
std::string LastError() { return std::strerror(errno); }

// The file a chain of symbolic links ends at (which need not exist yet).
std::string FollowLinks(std::string path) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
    char target[4096];
    const ssize_t n = readlink(path.c_str(), target, sizeof target);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof target) break;
    const std::string to(target, static_cast<size_t>(n));
    path = to[0] == '/' ? to : DirectoryOf(path) + "/" + to;
  }
  return path;
}
#endif

}  // namespace

#ifdef _WIN32
struct AtomicOutputFile::Platform {
  bool direct = false;  // no temporary file: written at Commit
  HANDLE file = INVALID_HANDLE_VALUE;
  std::wstring temp;
  HANDLE mapping = nullptr;
  const void* view = nullptr;
  size_t view_size = 0;
  int slot = -1;

  void Unmap() {
    if (view != nullptr) UnmapViewOfFile(view);
    if (mapping != nullptr) CloseHandle(mapping);
    view = nullptr;
    mapping = nullptr;
    view_size = 0;
  }
  void Close() {
    Unmap();
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    file = INVALID_HANDLE_VALUE;
  }
};
#else
struct AtomicOutputFile::Platform {
  bool direct = false;  // no temporary file: written at Commit
  int file = -1;        // the temporary file
  int dir = -1;         // the directory it is in, where it is renamed
  std::string temp;     // its name there
  std::string name;     // the destination's name there
  bool replaces = false;
  struct stat replaced = {};  // the regular file it replaces
  void* map = MAP_FAILED;
  size_t map_size = 0;
  int slot = -1;

  void Unmap() {
    if (map != MAP_FAILED) munmap(map, map_size);
    map = MAP_FAILED;
    map_size = 0;
  }
  void Close() {
    Unmap();
    if (file >= 0) close(file);
    if (dir >= 0) close(dir);
    file = dir = -1;
  }
};
#endif

AtomicOutputFile::AtomicOutputFile(const std::string& destination)
    : destination_(destination), platform_(std::make_unique<Platform>()) {
  Platform& p = *platform_;
#ifdef _WIN32
  if (destination != "-") {
    const std::wstring wide = Widen(destination);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) Fail("Is a directory");
    HANDLE existing = CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
    if (existing != INVALID_HANDLE_VALUE) {
      p.direct = GetFileType(existing) != FILE_TYPE_DISK;
      CloseHandle(existing);
    }
  }
  if (destination == "-" || p.direct) {
    p.direct = true;
  } else {
    const std::wstring dir = Widen(DirectoryOf(destination));
    for (int attempt = 0; attempt < 100 && p.file == INVALID_HANDLE_VALUE; ++attempt) {
      p.temp = dir + L"\\" + Widen(TemporaryName());
      p.file = CreateFileW(p.temp.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
      if (p.file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (p.file == INVALID_HANDLE_VALUE) Fail(LastError());
    if (p.temp.size() < 1024)
      p.slot =
          Register([&](int i) { std::memcpy(g_temp_paths[i], p.temp.c_str(), (p.temp.size() + 1) * sizeof(wchar_t)); });
  }
#else
  struct stat st;
  if (destination == "-") {
    p.direct = true;
  } else if (stat(destination.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    if (S_ISDIR(st.st_mode)) Fail(std::strerror(EISDIR));
    p.direct = true;
  } else {
    const std::string path = FollowLinks(destination);
    p.name = NameOf(path);
    p.dir = open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (p.dir < 0) Fail(LastError());
    if (fstatat(p.dir, p.name.c_str(), &st, 0) == 0 && S_ISREG(st.st_mode)) {
      p.replaces = true;
      p.replaced = st;
    }
    // A copy of a file that exists is kept to ourselves until it has that
    // file's mode; a new file gets the usual mode, the umask applied by the
    // system (never changed here: it is the whole process's).
    const mode_t mode = p.replaces ? 0600 : 0666;
    for (int attempt = 0; attempt < 100 && p.file < 0; ++attempt) {
      p.temp = TemporaryName();
      p.file = openat(p.dir, p.temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, mode);
      if (p.file < 0 && errno != EEXIST) break;
    }
    if (p.file < 0) {
      const std::string why = LastError();
      p.Close();
      Fail(why);
    }
    p.slot = Register([&](int i) {
      g_temp_dirs[i] = p.dir;
      std::memcpy(g_temp_names[i], p.temp.c_str(), p.temp.size() + 1);
    });
  }
#endif
  InstallHandlers();
  if (p.direct) {
    stream_ = std::make_unique<zip_ostringstream>();
  } else {
    buffer_ = std::make_unique<FileOutputBuffer>(p.file);
    stream_ = std::make_unique<std::ostream>(buffer_.get());
  }
}

AtomicOutputFile::~AtomicOutputFile() {
  if (!committed_) Discard();
  platform_->Close();
}

void AtomicOutputFile::Fail(const std::string& why) const {
  throw std::runtime_error("cannot write " + destination_ + ": " + why);
}

void AtomicOutputFile::Discard() {
  Platform& p = *platform_;
  if (p.direct) return;
#ifdef _WIN32
  p.Close();
  DeleteFileW(p.temp.c_str());
#else
  unlinkat(p.dir, p.temp.c_str(), 0);
#endif
  Unregister(&p.slot);
}

void AtomicOutputFile::ThrowIfWriteFailed() const {
  if (buffer_ && buffer_->error()) Fail(buffer_->error().message());
}

std::unique_ptr<PdfStream> AtomicOutputFile::ReadBack() {
  Platform& p = *platform_;
  stream_->flush();
  if (p.direct) {
    const std::string& bytes = static_cast<zip_ostringstream&>(*stream_).str();
    return std::make_unique<PdfMemoryStream>(bytes.data(), bytes.size());
  }
  ThrowIfWriteFailed();
  const size_t size = static_cast<size_t>(stream_->tellp());
#ifdef _WIN32
  if (size != p.view_size) {
    p.Unmap();
    if (size != 0) {
      p.mapping = CreateFileMappingW(p.file, nullptr, PAGE_READONLY, 0, 0, nullptr);
      if (p.mapping != nullptr) p.view = MapViewOfFile(p.mapping, FILE_MAP_READ, 0, 0, size);
      if (p.view == nullptr) Fail(LastError());
      p.view_size = size;
    }
  }
  return std::make_unique<PdfMemoryStream>(p.view, p.view_size);
#else
  if (size != p.map_size) {
    p.Unmap();
    if (size != 0) {
      p.map = mmap(nullptr, size, PROT_READ, MAP_SHARED, p.file, 0);
      if (p.map == MAP_FAILED) Fail(LastError());
      p.map_size = size;
    }
  }
  return std::make_unique<PdfMemoryStream>(p.map_size != 0 ? p.map : nullptr, p.map_size);
#endif
}

void AtomicOutputFile::Commit() {
  Platform& p = *platform_;
  stream_->flush();
  if (p.direct) {
    const std::string& bytes = static_cast<zip_ostringstream&>(*stream_).str();
#ifdef _WIN32
    const bool own = destination_ != "-";
    HANDLE file = own ? CreateFileW(Widen(destination_).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr)
                      : GetStdHandle(STD_OUTPUT_HANDLE);
    if (file == INVALID_HANDLE_VALUE || file == nullptr) Fail(LastError());
    FileOutputBuffer out(file);
    out.WriteAll(bytes.data(), bytes.size());
    if (own) CloseHandle(file);
#else
    const bool own = destination_ != "-";
    const int file = own ? open(destination_.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC) : STDOUT_FILENO;
    if (file < 0) Fail(LastError());
    FileOutputBuffer out(file);
    out.WriteAll(bytes.data(), bytes.size());
    if (own && close(file) != 0 && !out.error()) Fail(LastError());
#endif
    if (out.error()) Fail(out.error().message());
    committed_ = true;
    return;
  }
  ThrowIfWriteFailed();
#ifdef _WIN32
  p.Unmap();
  if (!FlushFileBuffers(p.file)) Fail(LastError());
  p.Close();
  // A file that is replaced keeps its access control list and attributes
  // (ReplaceFileW); a new one gets the directory's.
  const std::wstring destination = Widen(destination_);
  const bool replaced =
      GetFileAttributesW(destination.c_str()) != INVALID_FILE_ATTRIBUTES &&
      ReplaceFileW(destination.c_str(), p.temp.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr);
  if (!replaced &&
      !MoveFileExW(p.temp.c_str(), destination.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    Fail(LastError());
  committed_ = true;
  Unregister(&p.slot);
#else
  p.Unmap();
  struct stat mine;
  if (fstat(p.file, &mine) != 0) Fail(LastError());
  if (p.replaces) {
    // The owner first: changing it clears the set-user-ID and set-group-ID
    // bits, which the mode then restores. Another user's file can be given
    // back to them only by root; the group, by a member of it.
    const struct stat& old = p.replaced;
    if ((mine.st_uid != old.st_uid || mine.st_gid != old.st_gid) && fchown(p.file, old.st_uid, old.st_gid) != 0)
      (void)!fchown(p.file, static_cast<uid_t>(-1), old.st_gid);
    if (fchmod(p.file, old.st_mode & 07777) != 0 || fstat(p.file, &mine) != 0) Fail(LastError());
    if (mine.st_uid != old.st_uid || mine.st_gid != old.st_gid)
      note_ = destination_ + " could not keep its " + (mine.st_uid != old.st_uid ? "owner" : "group") +
              " (only root can give a file to another user): the new file is this user's";
    if (old.st_nlink > 1) {
      if (!note_.empty()) note_ += "; ";
      note_ += destination_ +
               (old.st_nlink == 2
                    ? " had another name (a hard link), which still holds"
                    : " had " + std::to_string(old.st_nlink - 1) + " other names (hard links), which still hold") +
               " its previous content";
    }
  }
  if (fsync(p.file) != 0) Fail(LastError());
  if (renameat(p.dir, p.temp.c_str(), p.dir, p.name.c_str()) != 0) Fail(LastError());
  committed_ = true;
  Unregister(&p.slot);
  // Whoever can write the directory could have put something else under
  // the temporary name before the rename; what was renamed must be ours.
  struct stat placed;
  if (fstatat(p.dir, p.name.c_str(), &placed, AT_SYMLINK_NOFOLLOW) != 0 || placed.st_dev != mine.st_dev ||
      placed.st_ino != mine.st_ino)
    Fail("the temporary file was replaced before it was renamed");
  fsync(p.dir);  // the rename itself made durable (not every file system can)
  p.Close();
#endif
}

void AtomicOutputFile::HandleSignals() { g_leave_signals.store(false); }

void AtomicOutputFile::LeaveSignalsAlone() { g_leave_signals.store(true); }

void AtomicOutputFile::RemoveTemporaryFiles() {
  for (int i = 0; i < kSlots; ++i) {
    if (!g_ready[i].load(std::memory_order_acquire)) continue;
#ifdef _WIN32
    DeleteFileW(g_temp_paths[i]);
#else
    unlinkat(g_temp_dirs[i], g_temp_names[i], 0);
#endif
  }
}
