// Replacing a file's contents: through a temporary file where the name is a regular file or a
// new one, in place where it is anything else or where no file can be added beside it.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/replace_file.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

const std::string kText = "S10500001234B4\nS9030000FC\n";

int Replace(const fs::path& path, const std::string& text = kText) {
  return ReplaceFileContents(path.string(), text.data(), text.size());
}

struct stat Lstat(const fs::path& path) {
  struct stat st {};
  EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
  return st;
}

// Names in a folder that start with a dot: the temporary files.
std::vector<std::string> Temporaries(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.path().filename().string().front() == '.') names.push_back(e.path().filename().string());
  return names;
}

using ReplaceFile = TempFolderTest;

TEST_F(ReplaceFile, RegularFileIsReplacedWholeAndKeepsItsMode) {
  WriteFile(dir / "a.sr", "old\n");
  ASSERT_EQ(::chmod((dir / "a.sr").c_str(), 0640), 0);
  const ino_t before = Lstat(dir / "a.sr").st_ino;
  ASSERT_EQ(Replace(dir / "a.sr"), 0);
  EXPECT_EQ(ReadFile(dir / "a.sr"), kText);
  const struct stat after = Lstat(dir / "a.sr");
  EXPECT_NE(after.st_ino, before);  // a new file took the old one's place
  EXPECT_EQ(after.st_mode & 07777, 0640u);
  EXPECT_TRUE(Temporaries(dir).empty());

  const mode_t mask = ::umask(022);
  EXPECT_EQ(Replace(dir / "new.sr"), 0);
  ::umask(mask);
  EXPECT_EQ(ReadFile(dir / "new.sr"), kText);
  EXPECT_EQ(Lstat(dir / "new.sr").st_mode & 07777, 0644u);
}

TEST_F(ReplaceFile, LinksStayAndTheFileTheyNameIsWritten) {
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> links;  // link name, what it points to
    bool targetExists;
  };
  const std::string absolute = (dir / "real.sr").string();
  const Case cases[] = {
      {"link to a file", {{"link.sr", "real.sr"}}, true},
      {"dangling link", {{"link.sr", "real.sr"}}, false},
      {"dangling link, absolute", {{"link.sr", absolute}}, false},
      {"dangling link into a subfolder", {{"link.sr", "sub/../real.sr"}}, false},
      {"chain of links, the last dangling", {{"link.sr", "mid.sr"}, {"mid.sr", "real.sr"}}, false},
  };
  fs::create_directory(dir / "sub");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(dir / "real.sr");
    if (c.targetExists) WriteFile(dir / "real.sr", "old\n");
    for (const auto& [link, to] : c.links) {
      fs::remove(dir / link);
      fs::create_symlink(to, dir / link);
    }
    ASSERT_EQ(Replace(dir / "link.sr"), 0);
    for (const auto& [link, to] : c.links) EXPECT_EQ(fs::read_symlink(dir / link), to);
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir / "real.sr")));
    EXPECT_EQ(ReadFile(dir / "real.sr"), kText);
    EXPECT_TRUE(Temporaries(dir).empty());
    for (const auto& [link, to] : c.links) fs::remove(dir / link);
  }
}

TEST_F(ReplaceFile, LinkLoopIsReportedAndCreatesNothing) {
  fs::create_symlink("b", dir / "a");
  fs::create_symlink("a", dir / "b");
  EXPECT_EQ(Replace(dir / "a"), ELOOP);
  EXPECT_TRUE(fs::is_symlink(dir / "a"));
  EXPECT_TRUE(fs::is_symlink(dir / "b"));
  EXPECT_TRUE(Temporaries(dir).empty());
}

// A device is written as it is: replacing it by a regular file would, as root, replace the
// system's device node.
TEST_F(ReplaceFile, DevicesAreWrittenInPlaceAndTheirErrorsReported) {
  fs::create_symlink("/dev/null", dir / "to-null");
  const struct {
    fs::path path;
    int expected;
  } cases[] = {{"/dev/null", 0}, {dir / "to-null", 0}, {"/dev/full", ENOSPC}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(Replace(c.path), c.expected);
  }
  for (const char* device : {"/dev/null", "/dev/full"}) {
    EXPECT_TRUE(S_ISCHR(Lstat(device).st_mode)) << device;
    for (const std::string& name : Temporaries("/dev"))
      EXPECT_NE(name.rfind(std::string(".") + fs::path(device).filename().string() + ".", 0), 0u) << name;
  }
  EXPECT_TRUE(fs::is_symlink(dir / "to-null"));
}

TEST_F(ReplaceFile, NamedPipeIsWrittenToItsReaderAndStaysAPipe) {
  const fs::path fifo = dir / "pipe.sr";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // Without a reader the write fails at once rather than waiting for one.
  EXPECT_EQ(Replace(fifo), ENXIO);
  EXPECT_TRUE(S_ISFIFO(Lstat(fifo).st_mode));

  // With a reader (the text is smaller than the pipe's buffer, so the write does not block).
  const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(reader, 0);
  EXPECT_EQ(Replace(fifo), 0);
  std::string got(kText.size() + 16, '\0');
  const ssize_t n = ::read(reader, got.data(), got.size());
  ::close(reader);
  ASSERT_GE(n, 0);
  got.resize(static_cast<size_t>(n));
  EXPECT_EQ(got, kText);
  EXPECT_TRUE(S_ISFIFO(Lstat(fifo).st_mode));
  EXPECT_TRUE(Temporaries(dir).empty());
}

// Nothing can be created in a process's /proc folder, yet its name file is writable: the write
// goes to the file itself.
TEST_F(ReplaceFile, FileBesideWhichNothingCanBeCreatedIsWrittenInPlace) {
  const fs::path comm = "/proc/self/comm";  // read back with a line end added
  const std::string old = ReadFile(comm);
  EXPECT_EQ(Replace(comm, "tessary-rf"), 0);
  const std::string now = ReadFile(comm);
  Replace(comm, old.substr(0, old.size() - 1));
  EXPECT_EQ(now, "tessary-rf\n");
  EXPECT_EQ(ReadFile(comm), old);
}

// A folder to which nothing may be added, while its files stay writable. Root may add to a
// folder without write permission, so for root the folder is made immutable instead.
class LockedFolder : public TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    locked = dir / "locked";
    fs::create_directory(locked);
    WriteFile(locked / "a.sr", "old contents, longer than the new\n");
    ASSERT_EQ(::chmod((locked / "a.sr").c_str(), 0640), 0);
    ASSERT_EQ(::chmod(locked.c_str(), 0555), 0);
    if (CanCreateIn(locked) && ::geteuid() == 0) SetImmutable(true);
    if (CanCreateIn(locked)) GTEST_SKIP() << "no way to keep this user from adding files to a folder";
  }
  void TearDown() override {
    if (immutable) SetImmutable(false);
    ::chmod(locked.c_str(), 0755);
    TempFolderTest::TearDown();
  }

  static bool CanCreateIn(const fs::path& folder) {
    const fs::path probe = folder / ".probe";
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
  }

  void SetImmutable(bool on) {
    const int fd = ::open(locked.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    int flags = 0;
    if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
      flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
      if (::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0) immutable = on;
    }
    ::close(fd);
  }

  fs::path locked;
  bool immutable = false;
};

TEST_F(LockedFolder, WritableFileIsWrittenInPlace) {
  const ino_t before = Lstat(locked / "a.sr").st_ino;
  ASSERT_EQ(Replace(locked / "a.sr"), 0);
  EXPECT_EQ(ReadFile(locked / "a.sr"), kText);
  const struct stat after = Lstat(locked / "a.sr");
  EXPECT_EQ(after.st_ino, before);
  EXPECT_EQ(after.st_mode & 07777, 0640u);
  EXPECT_TRUE(Temporaries(locked).empty());
  // A new name cannot be created there either way.
  const int err = Replace(locked / "new.sr");
  EXPECT_TRUE(err == EACCES || err == EPERM) << err;
  EXPECT_FALSE(fs::exists(locked / "new.sr"));
}

TEST_F(LockedFolder, FailedWriteInPlaceIsReported) {
  // A file-size limit makes the write fail part way.
  struct rlimit old {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  struct rlimit small = old;
  small.rlim_cur = 8;
  auto* const oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const int err = Replace(locked / "a.sr");
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(err, EFBIG);
}

}  // namespace
