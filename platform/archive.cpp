#include "platform/archive.h"

#include <algorithm>
#include <cstring>

CArchive::CArchive(CFile* file, unsigned mode, int bufferSize)
    : m_pFile(file), m_nMode(mode), m_buf(static_cast<size_t>(bufferSize > 0 ? bufferSize : kDefaultBufferSize)) {}

CArchive::~CArchive() {
  if (!m_pFile) return;
  if (IsStoring() && !(m_nMode & bNoFlushOnDelete)) {
    try {
      Flush();
    } catch (...) {
    }
  }
  m_pFile = nullptr;
}

bool CArchive::Fill() {
  if (m_eof) return false;
  if (!IsLoading()) AfxThrowArchiveException(CArchiveException::writeOnly, m_pFile->GetFilePath());
  m_max = m_pFile->Read(m_buf.data(), static_cast<uint32_t>(m_buf.size()));
  m_cur = 0;
  m_nextLf = m_nextCr = kUnknown;
  if (m_max == 0) m_eof = true;
  return m_max != 0;
}

size_t CArchive::NextOf(char c, size_t& cached) {
  if (cached == kUnknown || cached < m_cur) {
    const void* p = std::memchr(m_buf.data() + m_cur, c, m_max - m_cur);
    cached = p ? static_cast<size_t>(static_cast<const char*>(p) - m_buf.data()) : m_max;
  }
  return cached;
}

bool CArchive::ReadString(std::string& line) {
  line.clear();
  bool any = false;
  for (;;) {
    if (m_cur >= m_max && !Fill()) break;
    any = true;
    // Each kind of line end is looked for once per buffer and again only when passed, so a file
    // with one kind is scanned once whichever kind it uses.
    const size_t end = std::min(NextOf('\n', m_nextLf), NextOf('\r', m_nextCr));
    line.append(m_buf.data() + m_cur, end - m_cur);
    if (end == m_max) {
      m_cur = m_max;
      continue;
    }
    m_cur = end + 1;
    if (m_buf[end] == '\r' && (m_cur < m_max || Fill()) && m_buf[m_cur] == '\n') ++m_cur;  // CR LF
    return true;
  }
  return any;
}

uint32_t CArchive::Read(void* buffer, uint32_t count) {
  auto* out = static_cast<char*>(buffer);
  uint32_t done = 0;
  while (done < count) {
    if (m_cur >= m_max && !Fill()) break;
    const size_t n = std::min<size_t>(count - done, m_max - m_cur);
    std::memcpy(out + done, m_buf.data() + m_cur, n);
    m_cur += n;
    done += static_cast<uint32_t>(n);
  }
  return done;
}

void CArchive::Write(const void* buffer, uint32_t count) {
  if (IsLoading()) AfxThrowArchiveException(CArchiveException::readOnly, m_pFile->GetFilePath());
  const auto* in = static_cast<const char*>(buffer);
  // Large writes go straight through once the buffer is empty.
  if (count >= m_buf.size()) {
    Flush();
    m_pFile->Write(in, count);
    return;
  }
  while (count > 0) {
    if (m_cur == m_buf.size()) Flush();
    const size_t n = std::min<size_t>(count, m_buf.size() - m_cur);
    std::memcpy(m_buf.data() + m_cur, in, n);
    m_cur += n;
    in += n;
    count -= static_cast<uint32_t>(n);
  }
}

void CArchive::WriteString(std::string_view text) { Write(text.data(), static_cast<uint32_t>(text.size())); }

void CArchive::Flush() {
  if (!m_pFile || IsLoading() || m_cur == 0) return;
  const size_t n = m_cur;
  m_cur = 0;
  m_pFile->Write(m_buf.data(), static_cast<uint32_t>(n));
}

void CArchive::Close() {
  if (!m_pFile) return;
  if (IsStoring()) Flush();
  m_pFile = nullptr;
}

void CArchive::Abort() { m_pFile = nullptr; }
