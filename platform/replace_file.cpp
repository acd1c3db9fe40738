#include "platform/replace_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace {

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

// Where the new file goes: through a symbolic link to the file it names, so the link stays.
std::string ResolveTarget(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    if (char* real = ::realpath(path.c_str(), nullptr)) {
      std::string resolved(real);
      std::free(real);
      return resolved;
    }
  }
  return path;
}

// The mode a new file gets: the old file's, else what creating it would give.
mode_t ModeFor(const std::string& target) {
  struct stat st;
  if (::stat(target.c_str(), &st) == 0) return st.st_mode & 07777;
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

}  // namespace

int ReplaceFileContents(const std::string& path, const void* bytes, std::size_t length) {
  const std::string target = ResolveTarget(path);
  // The rename would replace a file that the user may not write; refuse as writing it would.
  if (::access(target.c_str(), F_OK) == 0 && ::access(target.c_str(), W_OK) != 0) return errno;
  const std::size_t slash = target.find_last_of('/');
  const std::string dir = slash == std::string::npos ? std::string(".") : target.substr(0, slash == 0 ? 1 : slash);
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  std::string temp = dir + "/." + base + ".XXXXXX";
  const mode_t mode = ModeFor(target);
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return errno;
  int err = 0;
  if (::fchmod(fd, mode) != 0 && errno != EPERM) err = errno;
  if (!err && !WriteAll(fd, static_cast<const char*>(bytes), length)) err = errno;
  if (!err && ::fsync(fd) != 0) err = errno;
  if (::close(fd) != 0 && !err) err = errno;
  if (!err && ::rename(temp.c_str(), target.c_str()) != 0) err = errno;
  if (err) {
    ::unlink(temp.c_str());
    return err;
  }
  // Make the rename itself durable; a failure here no longer puts the data at risk.
  const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  return 0;
}
