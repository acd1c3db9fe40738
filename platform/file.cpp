#include "platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>

int OpenRegularForReading(const std::string& path, struct stat& st) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return -errno;
  if (::fstat(fd, &st) != 0) {
    const int err = errno;
    ::close(fd);
    return -err;
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    return kNotRegularFile;
  }
  // A regular file's reads never wait anyway; the flag goes so that nothing can differ.
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return fd;
}

std::size_t ReadFully(int fd, void* out, std::size_t n, int& err) {
  auto* p = static_cast<uint8_t*>(out);
  std::size_t done = 0;
  while (done < n) {
    const ssize_t r = ::read(fd, p + done, std::min<std::size_t>(n - done, 1u << 30));
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) err = errno;
    if (r <= 0) break;
    done += static_cast<std::size_t>(r);
  }
  return done;
}

// ---------------------------------------------------------------- CFile

CFile::CFile(const std::string& path, unsigned flags) {
  CFileException e;
  if (!Open(path, flags, &e)) throw e;
}

CFile::~CFile() {
  if (m_hFile < 0) return;
  try {
    Settle();
  } catch (...) {
  }
  ::close(m_hFile);
}

void CFile::ThrowErrno(int err) const {
  AfxThrowFileException(CFileException::CauseFromErrno(err), err, m_strFileName);
}

bool CFile::Open(const std::string& path, unsigned flags, CFileException* error) {
  if (m_hFile >= 0) Abort();
  int oflags = O_CLOEXEC;
  switch (flags & 3) {
    case modeWrite: oflags |= O_WRONLY; break;
    case modeReadWrite: oflags |= O_RDWR; break;
    default: oflags |= O_RDONLY; break;
  }
  if (flags & modeCreate) {
    oflags |= O_CREAT;
    if (!(flags & modeNoTruncate)) oflags |= O_TRUNC;
  }
  int fd;
  do {
    fd = ::open(path.c_str(), oflags, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd >= 0) {
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
      ::close(fd);
      fd = -1;
      errno = EISDIR;
    }
  }
  if (fd < 0) {
    const int err = errno;
    if (error) *error = CFileException(CFileException::CauseFromErrno(err), err, path);
    return false;
  }
  m_hFile = fd;
  m_strFileName = path;
  m_pending = m_ahead = m_aheadPos = 0;
  return true;
}

void CFile::WriteAll(const uint8_t* p, size_t n) const {
  while (n > 0) {
    const ssize_t w = ::write(m_hFile, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      ThrowErrno(errno);
    }
    if (w == 0) ThrowErrno(ENOSPC);
    p += w;
    n -= static_cast<size_t>(w);
  }
}

uint32_t CFile::ReadDirect(uint8_t* p, uint32_t n) {
  int err = 0;
  const std::size_t done = ReadFully(m_hFile, p, n, err);
  if (err) ThrowErrno(err);
  return static_cast<uint32_t>(done);
}

void CFile::Settle() const {
  if (m_pending) {
    const size_t n = m_pending;
    m_pending = 0;  // once tried, the bytes are the caller's problem: never written twice
    WriteAll(m_buffer.data(), n);
  }
  if (m_aheadPos < m_ahead) {
    const off_t back = static_cast<off_t>(m_ahead - m_aheadPos);
    m_ahead = m_aheadPos = 0;
    if (::lseek(m_hFile, -back, SEEK_CUR) < 0) ThrowErrno(errno);
  }
  m_ahead = m_aheadPos = 0;
}

uint32_t CFile::Read(void* buffer, uint32_t count) {
  if (m_pending) Settle();
  auto* p = static_cast<uint8_t*>(buffer);
  uint32_t done = 0;
  while (done < count) {
    if (m_aheadPos < m_ahead) {
      const size_t n = std::min<size_t>(count - done, m_ahead - m_aheadPos);
      std::memcpy(p + done, m_buffer.data() + m_aheadPos, n);
      m_aheadPos += n;
      done += static_cast<uint32_t>(n);
      continue;
    }
    if (count - done >= kBufferSize) return done + ReadDirect(p + done, count - done);
    m_buffer.resize(kBufferSize);
    m_aheadPos = 0;
    m_ahead = ReadDirect(m_buffer.data(), kBufferSize);
    if (m_ahead == 0) break;
  }
  return done;
}

void CFile::Write(const void* buffer, uint32_t count) {
  if (m_ahead) Settle();
  const auto* p = static_cast<const uint8_t*>(buffer);
  if (m_pending + count > kBufferSize) Settle();
  if (count >= kBufferSize) {
    WriteAll(p, count);
    return;
  }
  m_buffer.resize(kBufferSize);
  std::memcpy(m_buffer.data() + m_pending, p, count);
  m_pending += count;
}

uint64_t CFile::Seek(int64_t offset, SeekPosition from) {
  Settle();
  const int whence = from == begin ? SEEK_SET : from == current ? SEEK_CUR : SEEK_END;
  const off_t pos = ::lseek(m_hFile, static_cast<off_t>(offset), whence);
  if (pos < 0) ThrowErrno(errno);
  return static_cast<uint64_t>(pos);
}

uint64_t CFile::GetPosition() const {
  Settle();
  const off_t pos = ::lseek(m_hFile, 0, SEEK_CUR);
  if (pos < 0) ThrowErrno(errno);
  return static_cast<uint64_t>(pos);
}

uint64_t CFile::GetLength() const {
  Settle();
  struct stat st;
  if (::fstat(m_hFile, &st) != 0) ThrowErrno(errno);
  return static_cast<uint64_t>(st.st_size);
}

void CFile::SetLength(uint64_t length) {
  Settle();
  if (::ftruncate(m_hFile, static_cast<off_t>(length)) != 0) ThrowErrno(errno);
}

void CFile::Flush() {
  if (m_hFile < 0) return;
  Settle();
  if (::fsync(m_hFile) != 0 && errno != EINVAL) ThrowErrno(errno);
}

void CFile::Close() {
  if (m_hFile < 0) return;
  const int fd = m_hFile;
  try {
    Settle();
  } catch (...) {
    m_hFile = -1;
    ::close(fd);
    throw;
  }
  m_hFile = -1;
  if (::close(fd) != 0 && errno != EINTR) ThrowErrno(errno);
}

void CFile::Abort() {
  if (m_hFile >= 0) {
    try {
      Settle();
    } catch (...) {
    }
    ::close(m_hFile);
  }
  m_hFile = -1;
  m_pending = m_ahead = m_aheadPos = 0;
}

// ---------------------------------------------------------------- CStdioFile

CStdioFile::CStdioFile(const std::string& path, unsigned flags) {
  CFileException e;
  if (!Open(path, flags, &e)) throw e;
}

CStdioFile::~CStdioFile() {
  if (m_pStream) std::fclose(m_pStream);
  m_hFile = -1;  // closed with the stream
}

bool CStdioFile::Open(const std::string& path, unsigned flags, CFileException* error) {
  if (!CFile::Open(path, flags, error)) return false;
  const char* mode = (flags & 3) == modeWrite ? "w" : (flags & 3) == modeReadWrite ? "r+" : "r";
  m_pStream = ::fdopen(m_hFile, mode);
  if (!m_pStream) {
    const int err = errno;
    CFile::Abort();
    if (error) *error = CFileException(CFileException::CauseFromErrno(err), err, path);
    return false;
  }
  return true;
}

uint32_t CStdioFile::Read(void* buffer, uint32_t count) {
  const size_t n = std::fread(buffer, 1, count, m_pStream);
  if (n < count && std::ferror(m_pStream)) ThrowErrno(errno ? errno : EIO);
  return static_cast<uint32_t>(n);
}

void CStdioFile::Write(const void* buffer, uint32_t count) {
  if (std::fwrite(buffer, 1, count, m_pStream) != count) ThrowErrno(errno ? errno : EIO);
}

uint64_t CStdioFile::Seek(int64_t offset, SeekPosition from) {
  const int whence = from == begin ? SEEK_SET : from == current ? SEEK_CUR : SEEK_END;
  if (::fseeko(m_pStream, static_cast<off_t>(offset), whence) != 0) ThrowErrno(errno);
  return GetPosition();
}

uint64_t CStdioFile::GetPosition() const {
  const off_t pos = ::ftello(m_pStream);
  if (pos < 0) ThrowErrno(errno);
  return static_cast<uint64_t>(pos);
}

uint64_t CStdioFile::GetLength() const {
  if (std::fflush(m_pStream) != 0) ThrowErrno(errno);
  return CFile::GetLength();
}

void CStdioFile::Flush() {
  if (m_pStream && std::fflush(m_pStream) != 0) ThrowErrno(errno);
}

void CStdioFile::Close() {
  if (!m_pStream) return;
  std::FILE* f = m_pStream;
  m_pStream = nullptr;
  m_hFile = -1;
  if (std::fclose(f) != 0) ThrowErrno(errno);
}

void CStdioFile::Abort() {
  if (m_pStream) std::fclose(m_pStream);
  m_pStream = nullptr;
  m_hFile = -1;
}

bool CStdioFile::ReadString(std::string& line) {
  line.clear();
  bool any = false;
  for (int c; (c = std::getc(m_pStream)) != EOF;) {
    any = true;
    if (c == '\n') return true;
    if (c == '\r') {  // a lone CR ends a line too; CR LF is one line end
      const int next = std::getc(m_pStream);
      if (next != '\n' && next != EOF) std::ungetc(next, m_pStream);
      return true;
    }
    line.push_back(static_cast<char>(c));
  }
  if (std::ferror(m_pStream)) ThrowErrno(errno ? errno : EIO);
  return any;
}

void CStdioFile::WriteString(const std::string& text) { Write(text.data(), static_cast<uint32_t>(text.size())); }

// ---------------------------------------------------------------- CMemFile

CMemFile::CMemFile(uint32_t growBytes) : m_nGrowBytes(growBytes) {}

CMemFile::CMemFile(uint8_t* buffer, uint32_t bufferSize, uint32_t growBytes) { Attach(buffer, bufferSize, growBytes); }

CMemFile::~CMemFile() { Free(); }

void CMemFile::Free() {
  if (m_bAutoDelete) std::free(m_lpBuffer);
  m_lpBuffer = nullptr;
  m_nBufferSize = m_nFileSize = m_nPosition = 0;
}

void CMemFile::Attach(uint8_t* buffer, uint32_t bufferSize, uint32_t growBytes) {
  Free();
  m_lpBuffer = buffer;
  m_nBufferSize = bufferSize;
  m_nFileSize = growBytes == 0 ? bufferSize : 0;
  m_nPosition = 0;
  m_nGrowBytes = growBytes;
  // A growable block may be reallocated, and then this file owns the new one until it is detached.
  m_bAutoDelete = false;
}

uint8_t* CMemFile::Detach() {
  uint8_t* p = m_lpBuffer;
  m_lpBuffer = nullptr;
  m_nBufferSize = m_nFileSize = m_nPosition = 0;
  m_bAutoDelete = true;
  return p;
}

bool CMemFile::Open(const std::string&, unsigned, CFileException* error) {
  // A memory file has no path to open.
  if (error) *error = CFileException(CFileException::invalidFile, 0, std::string());
  return false;
}

uint32_t CMemFile::Read(void* buffer, uint32_t count) {
  if (m_nPosition >= m_nFileSize || count == 0) return 0;
  const size_t n = std::min<size_t>(count, m_nFileSize - m_nPosition);
  std::memcpy(buffer, m_lpBuffer + m_nPosition, n);
  m_nPosition += n;
  return static_cast<uint32_t>(n);
}

void CMemFile::GrowFile(size_t newLength) {
  if (newLength <= m_nBufferSize) return;
  if (m_nGrowBytes == 0) AfxThrowMemoryException();
  // Double at least, so that writing a large text line by line stays linear.
  size_t want = std::max(newLength, m_nBufferSize * 2);
  want = (want + m_nGrowBytes - 1) / m_nGrowBytes * m_nGrowBytes;
  auto* p = static_cast<uint8_t*>(std::realloc(m_lpBuffer, want));
  if (!p) AfxThrowMemoryException();
  m_lpBuffer = p;
  m_nBufferSize = want;
  m_bAutoDelete = true;
}

void CMemFile::Write(const void* buffer, uint32_t count) {
  if (count == 0) return;
  const size_t stop = m_nPosition + count;
  if (stop > m_nBufferSize) GrowFile(stop);
  if (m_nPosition > m_nFileSize) std::memset(m_lpBuffer + m_nFileSize, 0, m_nPosition - m_nFileSize);
  std::memcpy(m_lpBuffer + m_nPosition, buffer, count);
  m_nPosition = stop;
  if (m_nPosition > m_nFileSize) m_nFileSize = m_nPosition;
}

uint64_t CMemFile::Seek(int64_t offset, SeekPosition from) {
  const int64_t base = from == begin     ? 0
                       : from == current ? static_cast<int64_t>(m_nPosition)
                                         : static_cast<int64_t>(m_nFileSize);
  const int64_t pos = base + offset;
  if (pos < 0) AfxThrowFileException(CFileException::badSeek, EINVAL, std::string());
  if (static_cast<uint64_t>(pos) > m_nBufferSize) GrowFile(static_cast<size_t>(pos));
  m_nPosition = static_cast<size_t>(pos);
  return m_nPosition;
}

void CMemFile::SetLength(uint64_t length) {
  if (length > std::numeric_limits<uint32_t>::max()) AfxThrowMemoryException();
  if (length > m_nBufferSize) GrowFile(static_cast<size_t>(length));
  if (length > m_nFileSize) std::memset(m_lpBuffer + m_nFileSize, 0, static_cast<size_t>(length) - m_nFileSize);
  m_nFileSize = static_cast<size_t>(length);
  if (m_nPosition > m_nFileSize) m_nPosition = m_nFileSize;
}

void CMemFile::Close() { Free(); }
