#include "platform/replace_file.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {

// As many links in a chain as the kernel itself follows before it gives ELOOP.
constexpr int kMaxLinkHops = 40;

bool WriteAll(int fd, const char* p, std::size_t n) {
  while (n > 0) {
    const ssize_t w = ::write(fd, p, n);
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
  }
  return true;
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return path.substr(0, slash == 0 ? 1 : slash);
}

// Follows symbolic links to the name the data goes to, so that the links stay. The name need
// not exist: a dangling link gets its target created. Returns 0 or the errno value.
int FollowLinks(std::string& path) {
  for (int hops = 0; hops <= kMaxLinkHops; ++hops) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return 0;
    char link[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), link, sizeof link);
    if (n < 0) return errno;
    if (static_cast<std::size_t>(n) == sizeof link) return ENAMETOOLONG;
    const std::string to(link, static_cast<std::size_t>(n));
    path = to.front() == '/' ? to : FolderOf(path) + "/" + to;
  }
  return ELOOP;
}

// The mode a new file gets: what creating it would give.
mode_t NewFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

// Syncs what was written; a pipe or a device that cannot be synced has nothing to sync.
int SyncAndClose(int fd) {
  int err = 0;
  if (::fsync(fd) != 0 && errno != EINVAL && errno != EROFS) err = errno;
  if (::close(fd) != 0 && !err) err = errno;
  return err;
}

// Writes over the file as it stands (created or emptied). A pipe without a reader fails at once
// (ENXIO) rather than waiting for one.
int WriteInPlace(const std::string& target, const char* bytes, std::size_t length) {
  const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOCTTY | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) return errno;
  const int flags = ::fcntl(fd, F_GETFL);
  int err = 0;
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) err = errno;
  if (!err && !WriteAll(fd, bytes, length)) err = errno;
  if (err) {
    ::close(fd);
    return err;
  }
  return SyncAndClose(fd);
}

// Result of writing through a temporary file: 0, or the errno value, with noTemporary set when
// the temporary file could not be made at all.
struct TemporaryResult {
  int err;
  bool noTemporary;
};

TemporaryResult WriteThroughTemporary(const std::string& target, const char* bytes, std::size_t length,
                                      mode_t mode) {
  const std::string dir = FolderOf(target);
  const std::size_t slash = target.find_last_of('/');
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  std::string temp = dir + "/." + base + ".XXXXXX";
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return {errno, true};
  int err = 0;
  if (::fchmod(fd, mode) != 0 && errno != EPERM) err = errno;
  if (!err && !WriteAll(fd, bytes, length)) err = errno;
  if (err) {
    ::close(fd);
  } else {
    err = SyncAndClose(fd);
  }
  if (!err && ::rename(temp.c_str(), target.c_str()) != 0) err = errno;
  if (err) {
    ::unlink(temp.c_str());
    return {err, false};
  }
  // Make the rename itself durable; a failure here no longer puts the data at risk.
  const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  return {0, false};
}

}  // namespace

int ReplaceFileContents(const std::string& path, const void* bytes, std::size_t length) {
  const char* data = static_cast<const char*>(bytes);
  std::string target = path;
  if (const int err = FollowLinks(target)) return err;
  struct stat st;
  const bool exists = ::lstat(target.c_str(), &st) == 0;
  if (!exists && errno != ENOENT) return errno;
  // Only a regular file can be replaced by another one; a device or a pipe is written as it is
  // (and a folder refuses the write).
  if (exists && !S_ISREG(st.st_mode)) return WriteInPlace(target, data, length);
  // The rename would replace a file that the user may not write; refuse as writing it would.
  if (exists && ::access(target.c_str(), W_OK) != 0) return errno;
  const TemporaryResult r = WriteThroughTemporary(target, data, length, exists ? st.st_mode & 07777 : NewFileMode());
  // No file can be added beside it (a folder the user may not write): write the file itself.
  // A full disk is reported instead, while the old file is still whole.
  if (r.noTemporary && r.err != ENOSPC && r.err != EDQUOT) return WriteInPlace(target, data, length);
  return r.err;
}
