// Files and folders that this process may not change, also when it runs as root (which the
// permission bits do not stop): read-only where that is enough, else immutable.
#pragma once

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

// False where the file system allows neither.
inline bool MakeUnwritable(const std::filesystem::path& path) {
  const bool folder = std::filesystem::is_directory(path);
  ::chmod(path.c_str(), folder ? 0555 : 0444);
  const std::string probe = (path / ".probe").string();
  const int test = folder ? ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600)
                          : ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (test < 0) return true;
  ::close(test);
  if (folder) ::unlink(probe.c_str());
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  int flags = 0;
  bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  if (done) {
    flags |= FS_IMMUTABLE_FL;
    done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  }
  ::close(fd);
  return done;
}

// Undoes MakeUnwritable, so that the test's folder can be removed.
inline void MakeWritable(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  int flags = 0;
  if (fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_IMMUTABLE_FL)) {
    flags &= ~FS_IMMUTABLE_FL;
    ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
  }
  if (fd >= 0) ::close(fd);
  ::chmod(path.c_str(), std::filesystem::is_directory(path) ? 0755 : 0644);
}
