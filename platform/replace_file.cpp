#include "platform/replace_file.h"

#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <ctime>

#include "platform/path.h"

ssize_t (*g_replaceFileWrite)(int fd, const void* data, std::size_t size) = ::write;
bool g_replaceFileUnnamed = true;

namespace {

// As many links in a chain as the kernel itself follows before it gives ELOOP.
constexpr int kMaxLinkHops = 40;
// Attempts at a temporary name that is not taken yet.
constexpr int kNameAttempts = 100;

// Writes all n bytes; done counts what went out, also when it fails part way.
bool WriteAll(int fd, const char* p, std::size_t n, std::size_t& done) {
  done = 0;
  while (n > 0) {
    const ssize_t w = g_replaceFileWrite(fd, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (w == 0) {
      errno = ENOSPC;
      return false;
    }
    p += w;
    n -= static_cast<std::size_t>(w);
    done += static_cast<std::size_t>(w);
  }
  return true;
}

bool WriteAll(int fd, const char* p, std::size_t n) {
  std::size_t done;
  return WriteAll(fd, p, n, done);
}

// The name the data goes to, and what it is now.
struct Target {
  std::string path;
  bool exists = false;
  struct stat st {};
};

// Follows symbolic links from path to the name the data goes to, so that the links stay. The name
// need not exist: a dangling link gets its target created. Returns 0 or the errno value.
int FollowLinks(const std::string& path, Target& t) {
  t.path = path;
  for (int hops = 0; hops <= kMaxLinkHops; ++hops) {
    t.exists = ::lstat(t.path.c_str(), &t.st) == 0;
    if (!t.exists) return errno == ENOENT ? 0 : errno;
    if (!S_ISLNK(t.st.st_mode)) return 0;
    char link[PATH_MAX];
    const ssize_t n = ::readlink(t.path.c_str(), link, sizeof link);
    if (n < 0) return errno;
    if (static_cast<std::size_t>(n) == sizeof link) return ENAMETOOLONG;
    const std::string to(link, static_cast<std::size_t>(n));
    t.path = to.front() == '/' ? to : tessary::ContainingFolder(t.path) + "/" + to;
  }
  return ELOOP;
}

// The mode a new file gets: what creating it would give.
mode_t NewFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

// Writes over a device or a named pipe as it stands. A pipe without a reader fails at once
// (ENXIO) rather than waiting for one.
int WriteInPlace(const std::string& target, const char* bytes, std::size_t length, ReplaceOutcome& outcome) {
  const int fd = ::open(target.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno;
  const int flags = ::fcntl(fd, F_GETFL);
  int err = 0;
  std::size_t done = 0;
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) err = errno;
  if (!err && !WriteAll(fd, bytes, length, done)) err = errno;
  // A pipe or a device that cannot be synced has nothing to sync.
  if (!err && ::fsync(fd) != 0 && errno != EINVAL && errno != EROFS) err = errno;
  if (::close(fd) != 0 && !err) err = errno;
  if (err && done > 0) outcome = ReplaceOutcome::partlyWritten;
  return err;
}

// A name in dir that is not there yet, most likely: ".tessary-" and six characters, the same
// length whatever the document is called, so that a long name cannot push it past the limit.
std::string TemporaryName(const std::string& dir) {
  static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  static unsigned counter = 0;
  unsigned char r[6];
  if (::getrandom(r, sizeof r, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof r)) {
    struct timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    unsigned long long v = static_cast<unsigned long long>(now.tv_nsec) ^
                           static_cast<unsigned long long>(::getpid()) << 32 ^ ++counter * 0x9E3779B97F4A7C15ull;
    for (unsigned char& c : r) {
      c = static_cast<unsigned char>(v);
      v >>= 8;
    }
  }
  std::string name = dir + "/.tessary-";
  for (unsigned char c : r) name += kChars[c % (sizeof kChars - 1)];
  return name;
}

// Runs make on temporary names in dir until one is not taken yet (make gives EEXIST for a taken
// one); name is the one that worked. Returns 0 or the errno value.
template <typename Make>
int OnFreeTemporaryName(const std::string& dir, std::string& name, Make make) {
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    const std::string candidate = TemporaryName(dir);
    const int err = make(candidate);
    if (err != EEXIST) {
      if (!err) name = candidate;
      return err;
    }
  }
  return EEXIST;
}

// The new file: unnamed (O_TMPFILE) where the file system has such files, else a named temporary
// file that is removed again unless it took the document's place.
struct NewFile {
  int fd = -1;
  std::string name;  // empty while it has none
};

int CreateNewFile(const std::string& dir, NewFile& f) {
  // The unnamed file gets its name through /proc.
  if (g_replaceFileUnnamed && ::access("/proc/self/fd", F_OK) == 0) {
    f.fd = ::open(dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (f.fd >= 0) return 0;
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return errno;
  }
  return OnFreeTemporaryName(dir, f.name, [&f](const std::string& name) {
    f.fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    return f.fd >= 0 ? 0 : errno;
  });
}

// Gives the unnamed file its first name; EEXIST when the name is taken (nothing is replaced).
int LinkUnnamed(int fd, const std::string& to) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, to.c_str(), AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
}

// Puts the complete new file in target's place. A target that did not exist is not replaced if
// a file of that name appeared meanwhile (EEXIST).
int PutInPlace(NewFile& f, const std::string& dir, const std::string& target, bool exists, ReplaceOutcome& outcome) {
  if (f.name.empty()) {
    if (!exists) return LinkUnnamed(f.fd, target);
    // A rename is the only way to replace a name at once: the file gets a temporary name first.
    const int err = OnFreeTemporaryName(dir, f.name, [&f](const std::string& name) { return LinkUnnamed(f.fd, name); });
    if (err) return err;
  } else if (!exists) {
    if (::renameat2(AT_FDCWD, f.name.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
      f.name.clear();
      return 0;
    }
    // A file system without the flag takes the plain rename below.
    if (errno != EINVAL && errno != ENOSYS) return errno;
  }
  if (::rename(f.name.c_str(), target.c_str()) != 0) {
    const int err = errno;
    // A sticky folder (/tmp) lets only the file's owner replace it.
    struct stat folder;
    if (exists && (err == EPERM || err == EACCES) && ::stat(dir.c_str(), &folder) == 0 && (folder.st_mode & S_ISVTX))
      outcome = ReplaceOutcome::notReplaceable;
    return err;
  }
  f.name.clear();
  return 0;
}

// Reserves the space first, so that a full disk is found before anything is written.
int Reserve(int fd, std::size_t length) {
  if (length == 0 || length > static_cast<std::size_t>(INT64_MAX)) return 0;
  if (::fallocate(fd, 0, 0, static_cast<off_t>(length)) == 0) return 0;
  return errno == EOPNOTSUPP || errno == ENOSYS ? 0 : errno;
}

int WriteThroughNewFile(const std::string& target, const char* bytes, std::size_t length, bool exists, mode_t mode,
                        ReplaceOutcome& outcome) {
  const std::string dir = tessary::ContainingFolder(target);
  NewFile f;
  if (const int err = CreateNewFile(dir, f)) {
    outcome = ReplaceOutcome::noNewFile;
    return err;
  }
  int err = 0;
  if (::fchmod(f.fd, mode) != 0 && errno != EPERM) err = errno;
  if (!err) err = Reserve(f.fd, length);
  if (!err && !WriteAll(f.fd, bytes, length)) err = errno;
  if (!err && ::fsync(f.fd) != 0) err = errno;
  if (!err) err = PutInPlace(f, dir, target, exists, outcome);
  // Once synced, a late error of close has nothing left to report.
  ::close(f.fd);
  if (!f.name.empty()) ::unlink(f.name.c_str());
  if (err) return err;
  // Make the new name durable; a failure here no longer puts the data at risk.
  const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  return 0;
}

}  // namespace

int ReplaceFileContents(const std::string& path, const void* bytes, std::size_t length, ReplaceOutcome* outcome) {
  ReplaceOutcome ignored;
  ReplaceOutcome& result = outcome ? *outcome : ignored;
  result = ReplaceOutcome::unchanged;
  const char* data = static_cast<const char*>(bytes);
  Target target;
  if (const int err = FollowLinks(path, target)) return err;
  int err = 0;
  // Only a regular file can be replaced by another one; a device or a pipe is written as it is
  // (and a folder refuses the write).
  if (target.exists && !S_ISREG(target.st.st_mode)) {
    if (S_ISDIR(target.st.st_mode)) return EISDIR;
    err = WriteInPlace(target.path, data, length, result);
  } else {
    // The rename would replace a file that the user may not write; refuse as writing it would.
    if (target.exists && ::access(target.path.c_str(), W_OK) != 0) return errno;
    const mode_t mode = target.exists ? target.st.st_mode & 07777 : NewFileMode();
    err = WriteThroughNewFile(target.path, data, length, target.exists, mode, result);
  }
  if (!err) result = ReplaceOutcome::replaced;
  return err;
}
