// A buffered line reader or writer over a file (CArchive in the class library's terms).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file.h"

class CArchive {
 public:
  enum Mode : unsigned { store = 0, load = 1, bNoFlushOnDelete = 2 };
  static constexpr int kDefaultBufferSize = 4096;

  CArchive(CFile* file, unsigned mode, int bufferSize = kDefaultBufferSize);
  // A storing archive that was not closed flushes here; errors are swallowed, since a destructor
  // must not throw. Call Close to see them.
  ~CArchive();
  CArchive(const CArchive&) = delete;
  CArchive& operator=(const CArchive&) = delete;

  bool IsLoading() const { return (m_nMode & load) != 0; }
  bool IsStoring() const { return !IsLoading(); }

  // The next line without its line end (LF, CR LF or a lone CR); an empty line gives an empty
  // string and true; false only at the end of the input.
  bool ReadString(std::string& line);
  // Writes text as it stands, adding nothing.
  void WriteString(std::string_view text);

  uint32_t Read(void* buffer, uint32_t count);
  void Write(const void* buffer, uint32_t count);

  // Hands buffered output to the file.
  void Flush();
  // Flushes (when storing) and detaches from the file, which stays open.
  void Close();
  // Detaches without flushing.
  void Abort();

 private:
  static constexpr size_t kUnknown = SIZE_MAX;

  bool Fill();
  // Where the next c at or after m_cur lies (m_max when the buffer holds none), found once
  // and kept in cached until m_cur passes it.
  size_t NextOf(char c, size_t& cached);

  CFile* m_pFile;
  unsigned m_nMode;
  std::vector<char> m_buf;
  size_t m_cur = 0;  // next byte to read, or next free byte when storing
  size_t m_max = 0;  // end of valid data when loading
  bool m_eof = false;
  size_t m_nextLf = kUnknown;
  size_t m_nextCr = kUnknown;
};
