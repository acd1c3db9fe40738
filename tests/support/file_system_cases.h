// Hostile file-system conditions for the save tests: a small disk of its own, a folder to which
// nothing can be added, and a run as another user.
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <linux/fs.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "platform/replace_file.h"
#include "support/unwritable.h"

// The roads a save takes to the disk, each with the document's name on it: a new name, an existing
// document, a name of 255 bytes (no longer temporary name fits beside it), a folder that takes no
// new file.
enum class SaveRoad { newName, existing, longName, lockedFolder };
struct SaveRoadCase {
  const char* what;
  SaveRoad road;
  std::string name;
};
inline const std::vector<SaveRoadCase>& SaveRoads() {
  static const std::vector<SaveRoadCase> roads = {{"new name", SaveRoad::newName, "doc.rvq"},
                                                  {"existing document", SaveRoad::existing, "doc.rvq"},
                                                  {"255-byte name", SaveRoad::longName, std::string(251, 'L') + ".rvq"},
                                                  {"locked folder", SaveRoad::lockedFolder, "doc.rvq"}};
  return roads;
}

// A tmpfs of `bytes` mounted on a new folder, unmounted again with all it holds. Mounting needs
// the privilege to do so; without it mounted() is false and why() says so.
class SmallDisk {
 public:
  explicit SmallDisk(std::size_t bytes) {
    std::string pattern = (std::filesystem::temp_directory_path() / "tessary-disk-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
      m_why = std::strerror(errno);
      return;
    }
    m_path = pattern;
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
    if (::mount("tessary-test", m_path.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0)
      m_mounted = true;
    else
      m_why = std::string("mounting a tmpfs: ") + std::strerror(errno);
  }
  ~SmallDisk() {
    if (m_path.empty()) return;
    if (m_mounted) ::umount2(m_path.c_str(), MNT_DETACH);
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
  }
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;

  bool mounted() const { return m_mounted; }
  const std::string& why() const { return m_why; }
  const std::filesystem::path& path() const { return m_path; }

 private:
  std::filesystem::path m_path;
  bool m_mounted = false;
  std::string m_why;
};

// Keeps files from being added to (or removed from or renamed in) a folder while the files in it
// stay writable: mode 0555, and for root, who may add files regardless, the immutable flag.
// locked() is false where this user cannot be kept out.
class FolderLock {
 public:
  explicit FolderLock(std::filesystem::path folder) : m_folder(std::move(folder)) {
    ::stat(m_folder.c_str(), &m_before);
    m_locked = MakeUnwritable(m_folder) && !CanCreateIn(m_folder);
  }
  ~FolderLock() {
    MakeWritable(m_folder);
    ::chmod(m_folder.c_str(), m_before.st_mode & 07777);
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  bool locked() const { return m_locked; }

  static bool CanCreateIn(const std::filesystem::path& folder) {
    const std::filesystem::path probe = folder / ".probe";
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
  }

 private:
  std::filesystem::path m_folder;
  struct stat m_before {};
  bool m_locked = false;
};

// The folder of one save road on a disk: made, holding the old document unless the road is a new
// name, and locked for the locked-folder road (ready() is false where it cannot be locked here).
// Gone with this object.
class RoadFolder {
 public:
  RoadFolder(const std::filesystem::path& disk, const SaveRoadCase& road, const std::string& old)
      : folder(disk / "docs"), document(folder / road.name) {
    std::filesystem::create_directory(folder);
    if (road.road != SaveRoad::newName) std::ofstream(document, std::ios::binary) << old;
    if (road.road == SaveRoad::lockedFolder) {
      m_lock = std::make_unique<FolderLock>(folder);
      if (!m_lock->locked()) {
        m_lock.reset();
        m_ready = false;
      }
    }
  }
  ~RoadFolder() {
    m_lock.reset();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  }
  RoadFolder(const RoadFolder&) = delete;
  RoadFolder& operator=(const RoadFolder&) = delete;

  bool ready() const { return m_ready; }
  void Unlock() { m_lock.reset(); }

  const std::filesystem::path folder;
  const std::filesystem::path document;

 private:
  std::unique_ptr<FolderLock> m_lock;
  bool m_ready = true;
};

// Runs body in a child process as the user "nobody" (65534) and returns its result (0 to 255),
// or -1 where the child could not become that user (this process is not root).
inline int RunAsNobody(const std::function<int()>& body) {
  if (::geteuid() != 0) return -1;
  const pid_t pid = ::fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0)
      ::_exit(254);
    ::_exit(body() & 0xFF);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) == 254) return -1;
  return WEXITSTATUS(status);
}

// The save's hooks, set while the object lives: the write that tests replace, and the choice
// between an unnamed and a named new file.
class WriteSeam {
 public:
  explicit WriteSeam(ssize_t (*write)(int, const void*, std::size_t)) { g_replaceFileWrite = write; }
  ~WriteSeam() { g_replaceFileWrite = ::write; }
  WriteSeam(const WriteSeam&) = delete;
  WriteSeam& operator=(const WriteSeam&) = delete;
};

class NewFileKind {
 public:
  explicit NewFileKind(bool unnamed) { g_replaceFileUnnamed = unnamed; }
  ~NewFileKind() { g_replaceFileUnnamed = true; }
  NewFileKind(const NewFileKind&) = delete;
  NewFileKind& operator=(const NewFileKind&) = delete;
};

// A write for the save's write hook that puts out ten bytes at most, then fails with EIO on the
// call after, then writes again.
inline ssize_t TenBytesThenFail(int fd, const void* data, std::size_t size) {
  static bool wrote = false;
  if (wrote) {
    wrote = false;
    errno = EIO;
    return -1;
  }
  wrote = true;
  return ::write(fd, data, std::min<std::size_t>(size, 10));
}

// The names in a folder, sorted.
inline std::vector<std::string> NamesIn(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}
