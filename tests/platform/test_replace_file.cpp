// Replacing a file's contents: through a new file where the name is a regular file or a new one,
// never in place for a regular file, and in place only for a device or a named pipe.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/replace_file.h"
#include "support/file_system_cases.h"
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
  std::vector<std::string> names = NamesIn(dir);
  std::erase_if(names, [](const std::string& name) { return name.front() != '.'; });
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
  for (const char* device : {"/dev/null", "/dev/full"}) EXPECT_TRUE(S_ISCHR(Lstat(device).st_mode)) << device;
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

constexpr bool kUnnamedAndNamed[] = {true, false};

const char* KindName(bool unnamed) { return unnamed ? "unnamed new file" : "named temporary file"; }

// Nothing can be created in a process's /proc folder, yet its name file is writable: an in-place
// write could not survive a crash, so the save is refused and the file kept.
TEST_F(ReplaceFile, FileBesideWhichNothingCanBeCreatedIsRefusedAndKept) {
  const fs::path comm = "/proc/self/comm";
  const std::string old = ReadFile(comm);
  ReplaceOutcome outcome = ReplaceOutcome::replaced;
  EXPECT_NE(Replace(comm, "tessary-rf"), 0);
  EXPECT_NE(ReplaceFileContents(comm.string(), "tessary-rf", 10, &outcome), 0);
  EXPECT_EQ(outcome, ReplaceOutcome::noNewFile);
  EXPECT_EQ(ReadFile(comm), old);
}

// A folder to which nothing may be added, while its files stay writable.
class LockedFolder : public TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    locked = dir / "locked";
    fs::create_directory(locked);
    WriteFile(locked / "a.sr", kOld);
    ASSERT_EQ(::chmod((locked / "a.sr").c_str(), 0640), 0);
    lock = std::make_unique<FolderLock>(locked);
    if (!lock->locked()) GTEST_SKIP() << "no way to keep this user from adding files to a folder";
  }
  void TearDown() override {
    lock.reset();
    TempFolderTest::TearDown();
  }

  static constexpr const char* kOld = "old contents, longer than the new\n";
  fs::path locked;
  std::unique_ptr<FolderLock> lock;
};

TEST_F(LockedFolder, WritableFileIsRefusedAndKept) {
  for (const bool unnamed : kUnnamedAndNamed) {
    SCOPED_TRACE(KindName(unnamed));
    const NewFileKind kind(unnamed);
    const struct stat before = Lstat(locked / "a.sr");
    ReplaceOutcome outcome = ReplaceOutcome::replaced;
    const int err = ReplaceFileContents((locked / "a.sr").string(), kText.data(), kText.size(), &outcome);
    EXPECT_TRUE(err == EACCES || err == EPERM) << err;
    EXPECT_EQ(outcome, ReplaceOutcome::noNewFile);
    EXPECT_EQ(ReadFile(locked / "a.sr"), kOld);
    const struct stat after = Lstat(locked / "a.sr");
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(after.st_mode & 07777, 0640u);
    EXPECT_EQ(NamesIn(locked), std::vector<std::string>{"a.sr"});
    // A new name cannot be created there either way.
    const int newErr = Replace(locked / "new.sr");
    EXPECT_TRUE(newErr == EACCES || newErr == EPERM) << newErr;
    EXPECT_FALSE(fs::exists(locked / "new.sr"));
  }
}

TEST_F(LockedFolder, RefusalComesBeforeAWriteThatWouldFail) {
  // A file-size limit would make a write fail part way: the refusal comes first.
  struct rlimit old {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  struct rlimit small = old;
  small.rlim_cur = 8;
  auto* const oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const int err = Replace(locked / "a.sr");
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_TRUE(err == EACCES || err == EPERM) << err;
  EXPECT_EQ(ReadFile(locked / "a.sr"), kOld);
}

// Every road to a save on a disk too small for the new document, and on one with room: a failed
// save leaves the old document byte for byte and nothing beside it, a successful one the new
// document whole. The old code wrote the long name and the locked folder in place and destroyed
// the document.
TEST(ReplaceFileOnSmallDisk, EveryRoadKeepsTheDocumentOrReplacesItWhole) {
  const SmallDisk disk(1 << 20);
  if (!disk.mounted()) GTEST_SKIP() << disk.why();
  const std::string old(200 * 1024, 'o');
  const std::string fits(100 * 1024, 'n');
  const std::string tooBig(2 << 20, 'N');
  struct statvfs empty {};
  ASSERT_EQ(::statvfs(disk.path().c_str(), &empty), 0);
  for (const bool unnamed : kUnnamedAndNamed) {
    const NewFileKind kind(unnamed);
    for (const SaveRoadCase& r : SaveRoads()) {
      for (const std::string* text : {&tooBig, &fits}) {
        SCOPED_TRACE(std::string(KindName(unnamed)) + ", " + r.what + (text == &fits ? ", fits" : ", too big"));
        std::optional<RoadFolder> at(std::in_place, disk.path(), r, old);
        if (!at->ready()) continue;
        const fs::path folder = at->folder;
        const fs::path doc = at->document;
        const ino_t inode = r.road != SaveRoad::newName ? Lstat(doc).st_ino : 0;

        ReplaceOutcome outcome = ReplaceOutcome::replaced;
        const int err = ReplaceFileContents(doc.string(), text->data(), text->size(), &outcome);
        at->Unlock();
        if (r.road == SaveRoad::lockedFolder) {
          EXPECT_TRUE(err == EACCES || err == EPERM) << err;
          EXPECT_EQ(outcome, ReplaceOutcome::noNewFile);
        } else if (text == &tooBig) {
          EXPECT_EQ(err, ENOSPC);
          EXPECT_EQ(outcome, ReplaceOutcome::unchanged);
        } else {
          EXPECT_EQ(err, 0);
          EXPECT_EQ(outcome, ReplaceOutcome::replaced);
        }
        if (err == 0) {
          EXPECT_EQ(NamesIn(folder), std::vector<std::string>{r.name});
          EXPECT_TRUE(ReadFile(doc) == *text);
          if (inode) {
            EXPECT_NE(Lstat(doc).st_ino, inode);  // a new file, not the old one rewritten
          }
        } else if (r.road == SaveRoad::newName) {
          EXPECT_TRUE(NamesIn(folder).empty());
        } else {
          EXPECT_EQ(NamesIn(folder), std::vector<std::string>{r.name});
          EXPECT_TRUE(ReadFile(doc) == old);
          EXPECT_EQ(Lstat(doc).st_ino, inode);
        }
        at.reset();
        // Nothing holds on to the space either (an unnamed file left open would).
        struct statvfs now {};
        ASSERT_EQ(::statvfs(disk.path().c_str(), &now), 0);
        EXPECT_EQ(now.f_bfree, empty.f_bfree);
      }
    }
  }
}

// A write that fails part way, for each kind of new file: the result says why, the old document
// is byte-identical and nothing is left beside it.
TEST_F(ReplaceFile, WriteThatFailsPartWayLeavesTheOldDocument) {
  const std::string big(1 << 20, 'x');
  const WriteSeam seam(TenBytesThenFail);
  for (const bool unnamed : kUnnamedAndNamed) {
    const NewFileKind kind(unnamed);
    for (const bool exists : {true, false}) {
      SCOPED_TRACE(std::string(KindName(unnamed)) + (exists ? ", existing document" : ", new name"));
      fs::remove(dir / "doc.rvq");
      if (exists) WriteFile(dir / "doc.rvq", kText);
      ReplaceOutcome outcome = ReplaceOutcome::replaced;
      EXPECT_EQ(ReplaceFileContents((dir / "doc.rvq").string(), big.data(), big.size(), &outcome), EIO);
      EXPECT_EQ(outcome, ReplaceOutcome::unchanged);
      if (exists) {
        EXPECT_EQ(NamesIn(dir), std::vector<std::string>{"doc.rvq"});
        EXPECT_EQ(ReadFile(dir / "doc.rvq"), kText);
      } else {
        EXPECT_TRUE(NamesIn(dir).empty());
      }
    }
  }
}

// What the folder holds while the new file is written: the unnamed file is not in it; the named
// one is, under a name of fixed length whatever the document is called.
std::vector<std::string> g_seenWhileWriting;
std::string g_folderWatched;

ssize_t ListFolderThenWrite(int fd, const void* data, std::size_t size) {
  g_seenWhileWriting = NamesIn(g_folderWatched);
  return ::write(fd, data, size);
}

TEST_F(ReplaceFile, NewFileIsNamedOnlyWhenComplete) {
  const std::string longName = std::string(251, 'L') + ".rvq";
  WriteFile(dir / longName, "old\n");
  g_folderWatched = dir.string();
  const WriteSeam seam(ListFolderThenWrite);
  for (const bool unnamed : kUnnamedAndNamed) {
    SCOPED_TRACE(KindName(unnamed));
    const NewFileKind kind(unnamed);
    g_seenWhileWriting.clear();
    ASSERT_EQ(Replace(dir / longName), 0);
    EXPECT_EQ(ReadFile(dir / longName), kText);
    EXPECT_EQ(NamesIn(dir), std::vector<std::string>{longName});
    if (unnamed) {
      EXPECT_EQ(g_seenWhileWriting, std::vector<std::string>{longName});
    } else {
      ASSERT_EQ(g_seenWhileWriting.size(), 2u);
      const std::string& temporary = g_seenWhileWriting[0];
      EXPECT_EQ(temporary.size(), 15u) << temporary;
      EXPECT_EQ(temporary.rfind(".tessary-", 0), 0u) << temporary;
    }
  }
}

// A save killed part way through its write (as by a crash or a power cut) leaves the folder with
// the old document alone, byte-identical, or with nothing where there was none.
int g_killPipe = -1;

ssize_t WriteHalfThenWait(int fd, const void* data, std::size_t size) {
  const ssize_t n = ::write(fd, data, size / 2);
  ::write(g_killPipe, "w", 1);
  for (;;) ::pause();
  return n;
}

TEST_F(ReplaceFile, KilledSaveLeavesOnlyTheOldDocument) {
  const std::string big(4 << 20, 'k');
  for (const bool exists : {true, false}) {
    SCOPED_TRACE(exists ? "existing document" : "new name");
    fs::remove(dir / "doc.rvq");
    if (exists) WriteFile(dir / "doc.rvq", kText);
    int pipeFds[2];
    ASSERT_EQ(::pipe2(pipeFds, O_CLOEXEC), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      g_killPipe = pipeFds[1];
      g_replaceFileWrite = WriteHalfThenWait;
      ReplaceFileContents((dir / "doc.rvq").string(), big.data(), big.size());
      ::_exit(0);
    }
    ::close(pipeFds[1]);
    char c = 0;
    const ssize_t got = ::read(pipeFds[0], &c, 1);
    ::close(pipeFds[0]);
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_EQ(got, 1) << "the save did not get to its write";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    if (exists) {
      EXPECT_EQ(NamesIn(dir), std::vector<std::string>{"doc.rvq"});
      EXPECT_EQ(ReadFile(dir / "doc.rvq"), kText);
    } else {
      EXPECT_TRUE(NamesIn(dir).empty());
    }
  }
}

// In a sticky folder (/tmp) only a file's owner may replace it, even where others may write it:
// the save is refused and the file kept.
TEST_F(ReplaceFile, StickyFolderRefusesTheReplacementOfAnotherUsersFile) {
  ASSERT_EQ(::chmod(dir.c_str(), 0755), 0);
  const fs::path sticky = dir / "sticky";
  fs::create_directory(sticky);
  ASSERT_EQ(::chmod(sticky.c_str(), 01777), 0);
  WriteFile(sticky / "doc.rvq", "old\n");
  ASSERT_EQ(::chmod((sticky / "doc.rvq").c_str(), 0666), 0);
  for (const bool unnamed : kUnnamedAndNamed) {
    SCOPED_TRACE(KindName(unnamed));
    const int result = RunAsNobody([&] {
      g_replaceFileUnnamed = unnamed;
      ReplaceOutcome outcome = ReplaceOutcome::replaced;
      const int err = ReplaceFileContents((sticky / "doc.rvq").string(), kText.data(), kText.size(), &outcome);
      if (err != EPERM) return 1;
      return outcome == ReplaceOutcome::notReplaceable ? 0 : 2;
    });
    if (result < 0) GTEST_SKIP() << "needs root to act as another user";
    EXPECT_EQ(result, 0);
    EXPECT_EQ(ReadFile(sticky / "doc.rvq"), "old\n");
    EXPECT_EQ(NamesIn(sticky), std::vector<std::string>{"doc.rvq"});
  }
}

ssize_t FailAtOnce(int, const void*, std::size_t) {
  errno = EIO;
  return -1;
}

// A named pipe whose reader took part of the bytes before the write failed is said to be partly
// written; one that took none, to be unchanged.
TEST_F(ReplaceFile, FailedWriteToANamedPipeSaysWhetherItTookAnything) {
  const fs::path fifo = dir / "pipe.rvq";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(reader, 0);
  const struct {
    ssize_t (*write)(int, const void*, std::size_t);
    ReplaceOutcome expected;
  } cases[] = {{TenBytesThenFail, ReplaceOutcome::partlyWritten}, {FailAtOnce, ReplaceOutcome::unchanged}};
  for (const auto& c : cases) {
    const WriteSeam seam(c.write);
    ReplaceOutcome outcome = ReplaceOutcome::replaced;
    EXPECT_EQ(ReplaceFileContents(fifo.string(), kText.data(), kText.size(), &outcome), EIO);
    EXPECT_EQ(outcome, c.expected);
  }
  ::close(reader);
  EXPECT_TRUE(S_ISFIFO(Lstat(fifo).st_mode));
}

}  // namespace
