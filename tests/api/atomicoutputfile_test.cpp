// The output file: what it replaces, where it writes, how it fails. One row per kind of destination.
#include "api/atomicoutputfile.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <algorithm>
#include <thread>
#include <vector>

#include "api/fileoutputbuffer.h"
#include "pdf/pdfstream.h"

namespace {

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::string& bytes, mode_t mode) {
  std::ofstream(path, std::ios::binary) << bytes;
  chmod(path.c_str(), mode);
}

std::vector<std::string> Names(const std::string& dir) {
  std::vector<std::string> names;
  DIR* d = opendir(dir.c_str());
  while (dirent* e = readdir(d))
    if (e->d_name[0] != '.' || std::string(e->d_name).rfind(".varnel-", 0) == 0) names.push_back(e->d_name);
  closedir(d);
  return names;
}

struct stat Stat(const std::string& path, bool follow = true) {
  struct stat st = {};
  (follow ? stat : lstat)(path.c_str(), &st);
  return st;
}

class AtomicOutputFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/varnel-atomic-XXXXXX";
    dir_ = mkdtemp(name);
  }
  void TearDown() override { std::system(("rm -rf " + dir_).c_str()); }
  std::string At(const std::string& name) const { return dir_ + "/" + name; }
  // A character device of our own in the test folder (as /dev/null or /dev/full are), so that a fault that
  // replaces a device harms no system device; empty where devices cannot be made (not root).
  std::string Device(const char* name, unsigned minor) const {
    return mknod(At(name).c_str(), S_IFCHR | 0666, makedev(1, minor)) == 0 ? At(name) : std::string();
  }

  std::string dir_;
};

TEST_F(AtomicOutputFileTest, Destinations) {
  const bool root = geteuid() == 0;
  const mode_t umask_was = umask(027);
  struct Row {
    const char* what;
    std::function<std::string()> prepare;  // makes the destination, returns its path
    std::function<void(const std::string&, const std::string& note)> check;
  };
  const std::string data = "%PDF-1.7 new content\n";
  const Row rows[] = {
      {"new file: 0666 less the umask", [&] { return At("new.pdf"); },
       [&](const std::string& p, const std::string&) { EXPECT_EQ(Stat(p).st_mode & 07777, 0640u); }},
      {"replaced file: its mode, owner and group kept, its other name told",
       [&] {
         WriteFile(At("old.pdf"), "plain", 0604);
         if (root) chown(At("old.pdf").c_str(), 65534, 65534);
         link(At("old.pdf").c_str(), At("other-name.pdf").c_str());
         return At("old.pdf");
       },
       [&](const std::string& p, const std::string& note) {
         EXPECT_EQ(Stat(p).st_mode & 07777, 0604u);
         EXPECT_EQ(Stat(p).st_uid, root ? 65534u : geteuid());
         EXPECT_EQ(Read(At("other-name.pdf")), "plain");
         EXPECT_NE(note.find("had another name (a hard link), which still holds its previous content"), std::string::npos);
       }},
      {"symbolic link: the target replaced, the link kept",
       [&] {
         WriteFile(At("target.pdf"), "plain", 0600);
         symlink("target.pdf", At("link.pdf").c_str());
         return At("link.pdf");
       },
       [&](const std::string& p, const std::string&) {
         EXPECT_TRUE(S_ISLNK(Stat(p, false).st_mode));
         EXPECT_EQ(Read(At("target.pdf")), data);
         EXPECT_EQ(Stat(At("target.pdf")).st_mode & 07777, 0600u);
       }},
      {"device: written through", [&] { return Device("null", 3); },
       [](const std::string& p, const std::string&) { EXPECT_TRUE(S_ISCHR(Stat(p).st_mode)); }},
  };
  for (const Row& row : rows) {
    const std::string path = row.prepare();
    if (path.empty()) continue;  // no device to be had
    const bool device = S_ISCHR(Stat(path).st_mode);
    AtomicOutputFile out(path);
    out.stream() << data;
    std::unique_ptr<PdfStream> back = out.ReadBack();
    std::string read(data.size(), '\0');
    back->Leer(&read[0], read.size());
    EXPECT_EQ(read, data) << row.what << ": read back from the file being written";
    if (!device) {
      EXPECT_NE(Read(path), data) << row.what << ": untouched until the commit";
    }
    out.Commit();
    if (!device) {
      EXPECT_EQ(Read(path), data) << row.what;
    }
    row.check(path, out.note());
  }
  // A FIFO gets the bytes and stays a FIFO.
  ASSERT_EQ(mkfifo(At("fifo").c_str(), 0600), 0);
  // A reader is there before the writer (which then never waits), and the few bytes fit in the pipe.
  const int read_end = open(At("fifo").c_str(), O_RDONLY | O_NONBLOCK);
  {
    AtomicOutputFile out(At("fifo"));
    out.stream() << data;
    out.Commit();
  }
  std::string received(100, '\0');
  received.resize(static_cast<size_t>(std::max<ssize_t>(0, read(read_end, &received[0], received.size()))));
  close(read_end);
  EXPECT_EQ(received, data);
  EXPECT_TRUE(S_ISFIFO(Stat(At("fifo")).st_mode));
  umask(umask_was);
  for (const std::string& name : Names(dir_)) EXPECT_NE(name.rfind(".varnel-", 0), 0u) << "left behind: " << name;
}

TEST_F(AtomicOutputFileTest, FailuresTellWhyAndLeaveNothing) {
  WriteFile(At("victim"), "secret", 0600);
  const std::string full = Device("full", 7);
  const struct {
    const char* what;
    std::string path;
    std::function<void()> meddle;  // between the first write and the commit
    const char* why;
  } rows[] = {
      {"no such directory", At("none/out.pdf"), nullptr, "No such file or directory"},
      {"a directory", dir_, nullptr, "Is a directory"},
      {"a place where no file can be made", "/proc/varnel.pdf", nullptr, "cannot write /proc/varnel.pdf"},
      {"a device that is full", full, nullptr, "No space left on device"},
      {"the temporary file swapped for a link to another file", At("out.pdf"),
       [&] {
         for (const std::string& name : Names(dir_)) {
           if (name.rfind(".varnel-", 0) != 0) continue;
           rename(At(name).c_str(), At("moved").c_str());
           symlink(At("victim").c_str(), At(name).c_str());
         }
       },
       "the temporary file was replaced"},
  };
  for (const auto& row : rows) {
    if (row.path.empty()) continue;  // no device to be had
    try {
      AtomicOutputFile out(row.path);
      out.stream() << "data";
      if (row.meddle) row.meddle();
      out.Commit();
      ADD_FAILURE() << row.what << ": no failure";
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find(row.why), std::string::npos) << row.what << ": " << e.what();
    }
  }
  EXPECT_EQ(Read(At("victim")), "secret");
  EXPECT_EQ(Stat(At("victim")).st_mode & 07777, 0600u);
  // A write that fails keeps its reason.
  const int fd = open("/dev/full", O_WRONLY);
  FileOutputBuffer buffer(fd);
  std::ostream stream(&buffer);
  stream << std::string(1 << 17, 'x') << std::flush;
  close(fd);
  EXPECT_TRUE(stream.bad());
  EXPECT_EQ(buffer.error().message(), "No space left on device");
}

TEST_F(AtomicOutputFileTest, ThreadsNeverSeeAnotherUmask) {
  const mode_t umask_was = umask(022);
  std::vector<std::thread> threads;
  for (int t = 0; t < 2; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 200; ++i) {
        AtomicOutputFile out(At(std::to_string(t) + "-" + std::to_string(i) + ".pdf"));
        out.stream() << "x";
        out.Commit();
      }
    });
  for (std::thread& t : threads) t.join();
  for (const std::string& name : Names(dir_)) EXPECT_EQ(Stat(At(name)).st_mode & 07777, 0644u) << name;
  EXPECT_EQ(umask(umask_was), 022u) << "the process's umask unchanged";
}

}  // namespace
