// The output file: what it replaces, where it writes, how it fails. One row per kind of destination.
#include "api/atomicoutputfile.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/pdfstream.h"

namespace {

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> Temporaries(const std::string& dir) {
  std::vector<std::string> names;
  DIR* d = opendir(dir.c_str());
  while (dirent* e = readdir(d))
    if (std::string(e->d_name).rfind(".varnel-", 0) == 0) names.push_back(e->d_name);
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
  std::string File(const std::string& name, mode_t mode) const {
    std::ofstream(At(name)) << "plain";
    chmod(At(name).c_str(), mode);
    return At(name);
  }
  // A device of our own (as /dev/null or /dev/full), so that a fault harms no system device; "" when not root.
  std::string Device(const char* name, unsigned minor) const {
    return mknod(At(name).c_str(), S_IFCHR | 0666, makedev(1, minor)) == 0 ? At(name) : std::string();
  }

  std::string dir_;
};

TEST_F(AtomicOutputFileTest, Destinations) {
  const bool root = geteuid() == 0;
  const mode_t umask_was = umask(027);
  const std::string data = "%PDF-1.7 new content\n";
  int fifo = -1;  // the read end, open before the writer's (which then never waits)
  const struct {
    const char* what;
    std::function<std::string()> prepare;  // makes the destination, returns its path
    std::function<void(const std::string&, const std::string& note)> check;
  } rows[] = {
      {"new file: 0666 less the umask", [&] { return At("new.pdf"); },
       [&](const std::string& p, const std::string&) { EXPECT_EQ(Stat(p).st_mode & 07777, 0640u); }},
      {"replaced file: its mode, owner and group kept, its other name told",
       [&] {
         const std::string old = File("old.pdf", 0604);
         if (root) chown(old.c_str(), 65534, 65534);
         link(At("old.pdf").c_str(), At("other-name.pdf").c_str());
         return At("old.pdf");
       },
       [&](const std::string& p, const std::string& note) {
         EXPECT_EQ(Stat(p).st_mode & 07777, 0604u);
         EXPECT_EQ(Stat(p).st_uid, root ? 65534u : geteuid());
         EXPECT_EQ(Read(At("other-name.pdf")), "plain");
         EXPECT_NE(note.find("had another name (a hard link), which still holds its previous content"),
                   std::string::npos);
       }},
      {"symbolic link: the target replaced, the link kept",
       [&] {
         symlink(File("target.pdf", 0600).c_str(), At("link.pdf").c_str());
         return At("link.pdf");
       },
       [&](const std::string& p, const std::string&) {
         EXPECT_TRUE(S_ISLNK(Stat(p, false).st_mode));
         EXPECT_EQ(Read(At("target.pdf")), data);
         EXPECT_EQ(Stat(At("target.pdf")).st_mode & 07777, 0600u);
       }},
      {"device: written through", [&] { return Device("null", 3); },
       [](const std::string& p, const std::string&) { EXPECT_TRUE(S_ISCHR(Stat(p).st_mode)); }},
      {"FIFO: written through",
       [&] {
         mkfifo(At("fifo").c_str(), 0600);
         fifo = open(At("fifo").c_str(), O_RDONLY | O_NONBLOCK);
         return At("fifo");
       },
       [&](const std::string& p, const std::string&) {
         std::string received(100, '\0');
         received.resize(static_cast<size_t>(std::max<ssize_t>(0, read(fifo, &received[0], received.size()))));
         EXPECT_EQ(received, data);
         EXPECT_TRUE(S_ISFIFO(Stat(p).st_mode));
       }},
  };
  for (const auto& row : rows) {
    const std::string path = row.prepare();
    if (path.empty()) continue;  // no device to be had
    const bool regular = !S_ISCHR(Stat(path).st_mode) && !S_ISFIFO(Stat(path).st_mode);
    AtomicOutputFile out(path);
    out.stream() << data;
    std::string read(data.size(), '\0');
    out.ReadBack()->Leer(&read[0], read.size());
    EXPECT_EQ(read, data) << row.what << ": read back from the file being written";
    EXPECT_TRUE(!regular || Read(path) != data) << row.what << ": untouched until the commit";
    out.Commit();
    EXPECT_TRUE(!regular || Read(path) == data) << row.what;
    row.check(path, out.note());
  }
  close(fifo);
  umask(umask_was);
  EXPECT_EQ(Temporaries(dir_), std::vector<std::string>());
}

TEST_F(AtomicOutputFileTest, FailuresTellWhyAndLeaveNothing) {
  const std::string victim = File("victim", 0600);
  const struct {
    const char* what;
    std::string path;
    std::function<void()> meddle;  // between the first write and the commit
    const char* why;
  } rows[] = {
      {"no such directory", At("none/out.pdf"), nullptr, "No such file or directory"},
      {"a directory", dir_, nullptr, "Is a directory"},
      {"a place where no file can be made", "/proc/varnel.pdf", nullptr, "cannot write /proc/varnel.pdf"},
      {"a device that is full", Device("full", 7), nullptr, "No space left on device"},
      {"the temporary file swapped for a link to another file", At("out.pdf"),
       [&] {
         for (const std::string& name : Temporaries(dir_)) {
           rename(At(name).c_str(), At("moved").c_str());
           symlink(victim.c_str(), At(name).c_str());
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
  EXPECT_EQ(Read(victim), "plain");
  EXPECT_EQ(Stat(victim).st_mode & 07777, 0600u);
  EXPECT_EQ(Temporaries(dir_), std::vector<std::string>());
}

}  // namespace
