// Files: CFile over a POSIX descriptor, CStdioFile for text lines, CMemFile over a heap block.
#pragma once

#include <sys/stat.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/exceptions.h"

// What OpenRegularForReading gives for a path that names something other than a regular file.
inline constexpr int kNotRegularFile = INT_MIN;

// Opens path for reading without waiting for a named pipe's writer (nor for a device that would
// make the open wait), and looks at what it is. The descriptor of a regular file, with st its
// status; kNotRegularFile, closed again and st telling what it is, for anything else; -errno when
// it cannot be opened or looked at.
int OpenRegularForReading(const std::string& path, struct stat& st);

// Reads until n bytes, the end of the file or an error (err); returns how many came.
std::size_t ReadFully(int fd, void* out, std::size_t n, int& err);

// Reads and writes go through a 64 KiB buffer of the file's own, so that an archive's small
// blocks do not each cost a system call; every other operation settles the buffer first.
class CFile {
 public:
  enum OpenFlags : unsigned {
    modeRead = 0x0000,
    modeWrite = 0x0001,
    modeReadWrite = 0x0002,
    shareExclusive = 0x0010,
    shareDenyWrite = 0x0020,
    shareDenyRead = 0x0030,
    shareDenyNone = 0x0040,
    modeCreate = 0x1000,
    modeNoTruncate = 0x2000,
    typeText = 0x4000,
    typeBinary = 0x8000,
  };
  enum SeekPosition { begin = 0, current = 1, end = 2 };

  CFile() = default;
  // Opens or throws CFileException.
  CFile(const std::string& path, unsigned flags);
  virtual ~CFile();
  CFile(const CFile&) = delete;
  CFile& operator=(const CFile&) = delete;

  // False when the file cannot be opened; the cause goes into *error when given.
  virtual bool Open(const std::string& path, unsigned flags, CFileException* error = nullptr);
  // Reads up to count bytes; fewer only at the end of the file. Throws CFileException.
  virtual uint32_t Read(void* buffer, uint32_t count);
  // Writes all count bytes or throws CFileException.
  virtual void Write(const void* buffer, uint32_t count);
  virtual uint64_t Seek(int64_t offset, SeekPosition from);
  void SeekToBegin() { Seek(0, begin); }
  virtual uint64_t GetPosition() const;
  virtual uint64_t GetLength() const;
  virtual void SetLength(uint64_t length);
  virtual void Flush();
  // Closes; throws CFileException when the close reports an error.
  virtual void Close();
  // Closes and ignores every error.
  virtual void Abort();

  const std::string& GetFilePath() const { return m_strFileName; }

 protected:
  [[noreturn]] void ThrowErrno(int err) const;
  // Writes out pending output and gives back read-ahead, so the descriptor's position is the
  // file's position again.
  void Settle() const;

  int m_hFile = -1;
  std::string m_strFileName;

 private:
  static constexpr size_t kBufferSize = 64 * 1024;
  void WriteAll(const uint8_t* p, size_t n) const;
  uint32_t ReadDirect(uint8_t* p, uint32_t n);

  mutable std::vector<uint8_t> m_buffer;
  mutable size_t m_pending = 0;   // bytes of output in m_buffer
  mutable size_t m_ahead = 0;     // read-ahead bytes in m_buffer ...
  mutable size_t m_aheadPos = 0;  // ... of which those before this one are consumed
};

// A file read and written as text lines (no line-end translation is needed on this platform; a CR
// before the LF is dropped on reading).
class CStdioFile : public CFile {
 public:
  CStdioFile() = default;
  CStdioFile(const std::string& path, unsigned flags);
  ~CStdioFile() override;

  bool Open(const std::string& path, unsigned flags, CFileException* error = nullptr) override;
  uint32_t Read(void* buffer, uint32_t count) override;
  void Write(const void* buffer, uint32_t count) override;
  uint64_t Seek(int64_t offset, SeekPosition from) override;
  uint64_t GetPosition() const override;
  uint64_t GetLength() const override;
  void Flush() override;
  void Close() override;
  void Abort() override;

  // The next line without its line end (LF, CR LF or a lone CR); false at the end of the file.
  bool ReadString(std::string& line);
  void WriteString(const std::string& text);

 private:
  std::FILE* m_pStream = nullptr;
};

// A file in a heap block from malloc. A block it allocated, or one it was given with a growth
// step, may be reallocated as it grows; Detach hands the block to the caller, who frees it with
// free() (FreeBuffer). A block given without a growth step is never reallocated: writing past its
// end throws CMemoryException.
class CMemFile : public CFile {
 public:
  explicit CMemFile(uint32_t growBytes = 1024);
  CMemFile(uint8_t* buffer, uint32_t bufferSize, uint32_t growBytes = 0);
  ~CMemFile() override;

  // Lays the file over buffer. With growBytes 0 its length is bufferSize and it never grows; else
  // it starts empty and may reallocate the block (which must then come from malloc).
  void Attach(uint8_t* buffer, uint32_t bufferSize, uint32_t growBytes = 0);
  // Hands the block out and leaves the file empty; the caller owns the block.
  uint8_t* Detach();

  bool Open(const std::string& path, unsigned flags, CFileException* error = nullptr) override;
  uint32_t Read(void* buffer, uint32_t count) override;
  void Write(const void* buffer, uint32_t count) override;
  uint64_t Seek(int64_t offset, SeekPosition from) override;
  uint64_t GetPosition() const override { return m_nPosition; }
  uint64_t GetLength() const override { return m_nFileSize; }
  void SetLength(uint64_t length) override;
  void Flush() override {}
  void Close() override;
  void Abort() override { Close(); }

  // The block itself (valid until the next write, SetLength, Detach or Close).
  const uint8_t* GetBufferPtr() const { return m_lpBuffer; }

 private:
  void GrowFile(size_t newLength);
  void Free();

  uint8_t* m_lpBuffer = nullptr;
  size_t m_nBufferSize = 0;
  size_t m_nFileSize = 0;
  size_t m_nPosition = 0;
  uint32_t m_nGrowBytes = 1024;
  bool m_bAutoDelete = true;
};
