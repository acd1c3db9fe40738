#include "document/update_document_format.h"

#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "platform/file.h"
#include "platform/replace_file.h"
#include "platform/string_table.h"
#include "platform/text.h"
#include "res/string_ids.h"

namespace rvq {
namespace {

uint32_t Crc32(uint32_t crc, const void* data, std::size_t size) {
  return static_cast<uint32_t>(crc32_z(crc, static_cast<const Bytef*>(data), size));
}

uint32_t Crc32(const void* data, std::size_t size) {
  return Crc32(static_cast<uint32_t>(crc32_z(0, nullptr, 0)), data, size);
}

void PutU32(std::string& out, uint32_t v) {
  const char b[4] = {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
                     static_cast<char>((v >> 16) & 0xFF), static_cast<char>((v >> 24) & 0xFF)};
  out.append(b, 4);
}

uint32_t GetU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

std::size_t ImageSize(const CUpdateDocumentData& doc) {
  return doc.m_pImageData && doc.m_nImageSize > 0 ? static_cast<std::size_t>(doc.m_nImageSize) : 0;
}

// Everything but the CRC, in the file's order, to out: one walk for the counting and the writing,
// so the two cannot drift apart.
template <class Out>
void Write(const CUpdateDocumentData& doc, Out& out) {
  const auto text = [&](const void* data, std::size_t size) {
    out.Length(size);
    out.Bytes(data, size);
  };
  out.Bytes(kMagic, sizeof kMagic);
  out.U32(kFormatVersion);
  text(doc.m_strCalibrationID.data(), doc.m_strCalibrationID.size());
  text(doc.m_strSoftwareID.data(), doc.m_strSoftwareID.size());
  out.U32(doc.m_dwSize);
  text(doc.m_strProgramData.data(), doc.m_strProgramData.size());
  text(doc.m_strComments.data(), doc.m_strComments.size());
  out.Length(doc.m_targets.size());
  for (const auto& t : doc.m_targets) {
    text(t->m_strCalibrationID.data(), t->m_strCalibrationID.size());
    text(t->m_strSoftwareID.data(), t->m_strSoftwareID.size());
  }
  text(doc.m_pImageData.get(), ImageSize(doc));
  out.Flag(doc.m_bClearRuntime);
  out.Flag(doc.m_bClearFaultHistory);
  out.Flag(doc.m_bResetBreakin);
}

// What Write would write, and whether every length fits the format's 32 bits.
struct SizeCounter {
  void Bytes(const void* /*data*/, std::size_t n) { size += n; }
  void Length(std::size_t n) {
    fits = fits && n <= std::numeric_limits<uint32_t>::max();
    size += 4;
  }
  void U32(uint32_t /*v*/) { size += 4; }
  void Flag(bool /*on*/) { size += 1; }

  std::size_t size = 0;
  bool fits = true;
};

// Write's bytes onto a string; the lengths have been counted as fitting first.
struct Appender {
  void Bytes(const void* data, std::size_t n) { out.append(static_cast<const char*>(data), n); }
  void Length(std::size_t n) { PutU32(out, static_cast<uint32_t>(n)); }
  void U32(uint32_t v) { PutU32(out, v); }
  void Flag(bool on) { out += static_cast<char>(on ? 1 : 0); }

  std::string& out;
};

// Where the reader takes the members' bytes from: a buffer, or the file itself, read straight
// into the members. Left() is what remains before the CRC, so that no length can run past it.
class Source {
 public:
  explicit Source(std::size_t left) : m_left(left) {}
  virtual ~Source() = default;

  std::size_t Left() const { return m_left; }
  // n bytes into out; false when fewer are left or they cannot be read.
  bool Take(void* out, std::size_t n) {
    if (n > m_left || !Copy(static_cast<uint8_t*>(out), n)) return false;
    m_left -= n;
    return true;
  }

 protected:
  virtual bool Copy(uint8_t* out, std::size_t n) = 0;

 private:
  std::size_t m_left;
};

class BufferSource : public Source {
 public:
  BufferSource(const uint8_t* p, std::size_t n) : Source(n), m_next(p) {}

 protected:
  bool Copy(uint8_t* out, std::size_t n) override {
    if (n > 0) std::memcpy(out, m_next, n);
    m_next += n;
    return true;
  }

 private:
  const uint8_t* m_next;
};

// Reads the body from a file, small fields through a buffer and large members straight into
// their own memory, and keeps the CRC of every byte taken.
class FileSource : public Source {
 public:
  FileSource(int fd, std::size_t bodySize, uint32_t crc)
      : Source(bodySize), m_fd(fd), m_crc(crc), m_buffer(std::make_unique_for_overwrite<uint8_t[]>(kBufferSize)) {}

  uint32_t Crc() const { return m_crc; }
  int Error() const { return m_err; }

  // What follows the body: the CRC, and then nothing.
  bool Tail(uint32_t& crc) {
    uint8_t b[5];
    if (Left() != 0 || !Raw(b, 4)) return false;
    crc = GetU32(b);
    return !Raw(b + 4, 1) && m_err == 0;
  }

 protected:
  bool Copy(uint8_t* out, std::size_t n) override {
    if (!Raw(out, n)) return false;
    m_crc = Crc32(m_crc, out, n);
    return true;
  }

 private:
  static constexpr std::size_t kBufferSize = 64 * 1024;

  bool Raw(uint8_t* out, std::size_t n) {
    const std::size_t buffered = std::min(n, m_end - m_next);
    if (buffered > 0) std::memcpy(out, m_buffer.get() + m_next, buffered);
    m_next += buffered;
    out += buffered;
    n -= buffered;
    if (n >= kBufferSize) return ReadFully(m_fd, out, n, m_err) == n;
    if (n == 0) return true;
    m_next = 0;
    m_end = ReadFully(m_fd, m_buffer.get(), kBufferSize, m_err);
    if (m_end < n) return false;
    std::memcpy(out, m_buffer.get(), n);
    m_next = n;
    return true;
  }

  int m_fd;
  uint32_t m_crc;
  int m_err = 0;
  std::unique_ptr<uint8_t[]> m_buffer;
  std::size_t m_next = 0, m_end = 0;
};

// Reads the body between the header and the CRC; every length is checked against what is left
// before anything is allocated for it.
class Reader {
 public:
  explicit Reader(Source& source) : m_s(source) {}

  bool U32(uint32_t& v) {
    uint8_t b[4];
    if (!m_s.Take(b, 4)) return false;
    v = GetU32(b);
    return true;
  }
  bool Flag(bool& v) {
    uint8_t b;
    if (!m_s.Take(&b, 1) || b > 1) return false;
    v = b != 0;
    return true;
  }
  // A length that the bytes left can hold.
  bool Length(uint32_t& size) { return U32(size) && size <= m_s.Left(); }
  bool Text(std::string& text) {
    uint32_t size;
    if (!Length(size)) return false;
    text.resize(size);
    return m_s.Take(text.data(), size);
  }
  bool Image(CUpdateDocumentData& doc) {
    uint32_t size;
    if (!Length(size) || size > static_cast<uint32_t>(INT32_MAX)) return false;
    if (size == 0) return true;
    auto image = std::make_unique_for_overwrite<uint8_t[]>(size);
    if (!m_s.Take(image.get(), size)) return false;
    doc.SetImage(std::move(image), static_cast<int32_t>(size));
    return true;
  }
  bool AtEnd() const { return m_s.Left() == 0; }

 private:
  Source& m_s;
};

bool DecodeBody(Reader& r, CUpdateDocumentData& doc) {
  uint32_t count;
  if (!r.Text(doc.m_strCalibrationID) || !r.Text(doc.m_strSoftwareID) || !r.U32(doc.m_dwSize) ||
      !r.Text(doc.m_strProgramData) || !r.Text(doc.m_strComments) || !r.U32(count))
    return false;
  for (uint32_t i = 0; i < count; ++i) {
    auto target = std::make_unique<CTargetObj>();
    if (!r.Text(target->m_strCalibrationID) || !r.Text(target->m_strSoftwareID)) return false;
    doc.m_targets.push_back(std::move(target));
  }
  return r.Image(doc) && r.Flag(doc.m_bClearRuntime) && r.Flag(doc.m_bClearFaultHistory) &&
         r.Flag(doc.m_bResetBreakin) && r.AtEnd();
}

// What the first bytes of a file of size bytes say (only its header is looked at): whether it
// is a document of a version this reader knows and long enough to hold one.
DecodeResult CheckHeader(const uint8_t* data, std::size_t size, uint32_t* version) {
  if (size < sizeof kMagic || std::memcmp(data, kMagic, sizeof kMagic) != 0) return DecodeResult::notDocument;
  if (size < kHeaderSize) return DecodeResult::damaged;
  const uint32_t v = GetU32(data + sizeof kMagic);
  if (version) *version = v;
  if (v > kFormatVersion) return DecodeResult::newerVersion;
  if (v == 0 || size < kMinimumSize) return DecodeResult::damaged;
  return DecodeResult::ok;
}

std::string ErrnoText(int err) { return std::strerror(err); }

}  // namespace

bool Encode(const CUpdateDocumentData& doc, std::string& bytes) {
  SizeCounter count;
  Write(doc, count);
  if (!count.fits) return false;
  std::string out;
  out.reserve(count.size + 4);  // and the CRC
  Appender append{out};
  Write(doc, append);
  PutU32(out, Crc32(out.data(), out.size()));
  bytes = std::move(out);
  return true;
}

DecodeResult Decode(const uint8_t* data, std::size_t size, CUpdateDocumentData& out, uint32_t* version) {
  if (const DecodeResult header = CheckHeader(data, size, version); header != DecodeResult::ok) return header;
  const std::size_t crcAt = size - 4;
  if (Crc32(data, crcAt) != GetU32(data + crcAt)) return DecodeResult::damaged;
  CUpdateDocumentData doc;
  BufferSource source(data + kHeaderSize, crcAt - kHeaderSize);
  Reader r(source);
  if (!DecodeBody(r, doc)) return DecodeResult::damaged;
  out = std::move(doc);
  return DecodeResult::ok;
}

bool LoadFile(const std::string& path, CUpdateDocumentData& out, std::string& message) {
  const auto fail = [&](unsigned id, auto... args) {
    message = tessary::Format(LoadResString(id).c_str(), path.c_str(), args...);
    return false;
  };
  const auto cannotRead = [&](int err) { return fail(IDS_RVQ_READ_FAILED, ErrnoText(err).c_str()); };
  // Anything but a regular file is refused before it is opened: a named pipe or a device would
  // block or never end.
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return cannotRead(errno);
  if (!S_ISREG(st.st_mode)) return fail(IDS_RVQ_NOT_REGULAR_FILE);
  // The name may have been replaced by something else in between.
  const int fd = OpenRegularForReading(path, st);
  if (fd == kNotRegularFile) return fail(IDS_RVQ_NOT_REGULAR_FILE);
  if (fd < 0) return cannotRead(-fd);
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  const uint64_t length = static_cast<uint64_t>(st.st_size);

  try {
    // A foreign file is refused from its first bytes, before anything is allocated for it.
    uint8_t head[kHeaderSize];
    int err = 0;
    const std::size_t headSize = ReadFully(fd, head, std::min<uint64_t>(length, kHeaderSize), err);
    if (err) return cannotRead(err);
    uint32_t version = 0;
    // A file cut short meanwhile is judged by what came.
    const std::size_t size = headSize < kHeaderSize ? headSize : static_cast<std::size_t>(length);
    const DecodeResult kind = length > SIZE_MAX ? DecodeResult::notDocument : CheckHeader(head, size, &version);
    switch (kind) {
      case DecodeResult::ok: break;
      case DecodeResult::notDocument: return fail(IDS_RVQ_NOT_DOCUMENT);
      case DecodeResult::newerVersion: return fail(IDS_RVQ_NEWER_VERSION, version);
      case DecodeResult::damaged: return fail(IDS_RVQ_DAMAGED);
    }

    // The members are read straight into the new document, checked as they come; the CRC of
    // the whole is known only at the end.
    CUpdateDocumentData doc;
    FileSource body(fd, static_cast<std::size_t>(length) - kMinimumSize, Crc32(head, kHeaderSize));
    Reader r(body);
    uint32_t crc = 0;
    const bool read = DecodeBody(r, doc) && body.Tail(crc);
    if (body.Error()) return cannotRead(body.Error());
    if (!read || crc != body.Crc()) return fail(IDS_RVQ_DAMAGED);
    out = std::move(doc);
    return true;
  } catch (const std::bad_alloc&) {
    return cannotRead(ENOMEM);
  }
}

bool SaveFile(const std::string& path, const CUpdateDocumentData& doc, std::string& message) {
  // Only a file that was there can be said to be left as it was.
  struct stat st;
  const bool wasFile = ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  const auto fail = [&](unsigned id, int err) {
    message = tessary::Format(LoadResString(id).c_str(), path.c_str(), ErrnoText(err).c_str());
    return false;
  };
  const unsigned failed = wasFile ? IDS_RVQ_SAVE_FAILED : IDS_RVQ_SAVE_FAILED_NEW;
  std::string bytes;
  try {
    if (!Encode(doc, bytes)) return fail(failed, EFBIG);
  } catch (const std::bad_alloc&) {
    return fail(failed, ENOMEM);
  }

  // The old file is replaced only once the new one is complete on disk.
  ReplaceOutcome outcome;
  const int err = ReplaceFileContents(path, bytes.data(), bytes.size(), &outcome);
  if (err == 0) return true;
  switch (outcome) {
    case ReplaceOutcome::partlyWritten: return fail(IDS_RVQ_SAVE_PARTLY_WRITTEN, err);
    case ReplaceOutcome::noNewFile: return fail(wasFile ? IDS_RVQ_SAVE_NO_NEW_FILE : failed, err);
    case ReplaceOutcome::notReplaceable: return fail(wasFile ? IDS_RVQ_SAVE_NOT_REPLACEABLE : failed, err);
    case ReplaceOutcome::replaced:
    case ReplaceOutcome::unchanged: break;
  }
  return fail(failed, err);
}

}  // namespace rvq
