#include "common/update_document_format.h"

#include <fcntl.h>
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

namespace rvq {
namespace {

enum : unsigned {
  IDS_RVQ_NOT_DOCUMENT = 2001,
  IDS_RVQ_NEWER_VERSION = 2002,
  IDS_RVQ_DAMAGED = 2003,
  IDS_RVQ_READ_FAILED = 2004,
  IDS_RVQ_SAVE_FAILED = 2005,
  IDS_RVQ_SAVE_FAILED_NEW = 2008,
};

uint32_t Crc32(const uint8_t* data, std::size_t size) {
  return static_cast<uint32_t>(crc32_z(crc32_z(0, nullptr, 0), data, size));
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

bool PutBytes(std::string& out, const void* data, std::size_t size) {
  if (size > std::numeric_limits<uint32_t>::max()) return false;
  PutU32(out, static_cast<uint32_t>(size));
  out.append(static_cast<const char*>(data), size);
  return true;
}

bool PutText(std::string& out, const std::string& text) { return PutBytes(out, text.data(), text.size()); }

// Reads the body between the header and the CRC; every length is checked against what is left.
class Reader {
 public:
  Reader(const uint8_t* p, std::size_t n) : m_p(p), m_left(n) {}

  bool U32(uint32_t& v) {
    if (m_left < 4) return false;
    v = GetU32(m_p);
    Skip(4);
    return true;
  }
  bool Flag(bool& v) {
    if (m_left < 1 || m_p[0] > 1) return false;
    v = m_p[0] != 0;
    Skip(1);
    return true;
  }
  // A length, then that many bytes, which must all be there.
  bool Bytes(const uint8_t*& data, uint32_t& size) {
    if (!U32(size) || size > m_left) return false;
    data = m_p;
    Skip(size);
    return true;
  }
  bool Text(std::string& text) {
    const uint8_t* data;
    uint32_t size;
    if (!Bytes(data, size)) return false;
    text.assign(reinterpret_cast<const char*>(data), size);
    return true;
  }
  bool AtEnd() const { return m_left == 0; }

 private:
  void Skip(std::size_t n) {
    m_p += n;
    m_left -= n;
  }
  const uint8_t* m_p;
  std::size_t m_left;
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
  const uint8_t* image;
  uint32_t imageSize;
  if (!r.Bytes(image, imageSize) || imageSize > static_cast<uint32_t>(INT32_MAX)) return false;
  if (imageSize > 0) {
    auto copy = std::make_unique<uint8_t[]>(imageSize);
    std::memcpy(copy.get(), image, imageSize);
    doc.SetImage(std::move(copy), static_cast<int32_t>(imageSize));
  }
  return r.Flag(doc.m_bClearRuntime) && r.Flag(doc.m_bClearFaultHistory) && r.Flag(doc.m_bResetBreakin) && r.AtEnd();
}

std::string ErrnoText(int err) { return std::strerror(err); }

}  // namespace

bool Encode(const CUpdateDocumentData& doc, std::string& bytes) {
  std::string out;
  out.append(reinterpret_cast<const char*>(kMagic), sizeof kMagic);
  PutU32(out, kFormatVersion);
  bool ok = PutText(out, doc.m_strCalibrationID) && PutText(out, doc.m_strSoftwareID);
  PutU32(out, doc.m_dwSize);
  ok = ok && PutText(out, doc.m_strProgramData) && PutText(out, doc.m_strComments) &&
       doc.m_targets.size() <= std::numeric_limits<uint32_t>::max();
  if (!ok) return false;
  PutU32(out, static_cast<uint32_t>(doc.m_targets.size()));
  for (const auto& t : doc.m_targets)
    if (!PutText(out, t->m_strCalibrationID) || !PutText(out, t->m_strSoftwareID)) return false;
  const std::size_t imageSize = doc.m_pImageData && doc.m_nImageSize > 0 ? static_cast<std::size_t>(doc.m_nImageSize) : 0;
  PutBytes(out, doc.m_pImageData.get(), imageSize);
  out += static_cast<char>(doc.m_bClearRuntime ? 1 : 0);
  out += static_cast<char>(doc.m_bClearFaultHistory ? 1 : 0);
  out += static_cast<char>(doc.m_bResetBreakin ? 1 : 0);
  PutU32(out, Crc32(reinterpret_cast<const uint8_t*>(out.data()), out.size()));
  bytes = std::move(out);
  return true;
}

DecodeResult Decode(const uint8_t* data, std::size_t size, CUpdateDocumentData& out, uint32_t* version) {
  if (size < sizeof kMagic || std::memcmp(data, kMagic, sizeof kMagic) != 0) return DecodeResult::notDocument;
  if (size < kHeaderSize) return DecodeResult::damaged;
  const uint32_t v = GetU32(data + sizeof kMagic);
  if (version) *version = v;
  if (v > kFormatVersion) return DecodeResult::newerVersion;
  if (v == 0 || size < kMinimumSize) return DecodeResult::damaged;
  const std::size_t crcAt = size - 4;
  if (Crc32(data, crcAt) != GetU32(data + crcAt)) return DecodeResult::damaged;
  CUpdateDocumentData doc;
  Reader r(data + kHeaderSize, crcAt - kHeaderSize);
  if (!DecodeBody(r, doc)) return DecodeResult::damaged;
  out = std::move(doc);
  return DecodeResult::ok;
}

bool LoadFile(const std::string& path, CUpdateDocumentData& out, std::string& message) {
  std::vector<uint8_t> bytes;
  try {
    CFile file(path, CFile::modeRead | CFile::shareDenyWrite);
    const uint64_t length = file.GetLength();
    // A foreign file is refused from its first bytes, before a large one is read whole.
    uint8_t head[kHeaderSize];
    const uint32_t headRead = file.Read(head, static_cast<uint32_t>(std::min<uint64_t>(length, kHeaderSize)));
    bytes.assign(head, head + headRead);
    if (headRead < sizeof kMagic || std::memcmp(head, kMagic, sizeof kMagic) != 0 || length > SIZE_MAX) {
      message = tessary::Format(LoadResString(IDS_RVQ_NOT_DOCUMENT).c_str(), path.c_str());
      return false;
    }
    if (headRead == kHeaderSize && GetU32(head + sizeof kMagic) <= kFormatVersion) {
      bytes.resize(static_cast<std::size_t>(length));
      std::size_t done = headRead;
      while (done < bytes.size()) {
        const uint32_t chunk = static_cast<uint32_t>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        const uint32_t n = file.Read(bytes.data() + done, chunk);
        if (n == 0) break;
        done += n;
      }
      bytes.resize(done);
    }
    file.Close();
  } catch (const CFileException& e) {
    // The message names the file already: the reason follows alone.
    const std::string reason = e.m_lOsError ? ErrnoText(e.m_lOsError) : e.GetErrorMessage();
    message = tessary::Format(LoadResString(IDS_RVQ_READ_FAILED).c_str(), path.c_str(), reason.c_str());
    return false;
  } catch (const CException& e) {
    message = tessary::Format(LoadResString(IDS_RVQ_READ_FAILED).c_str(), path.c_str(), e.GetErrorMessage().c_str());
    return false;
  } catch (const std::bad_alloc&) {
    message = tessary::Format(LoadResString(IDS_RVQ_READ_FAILED).c_str(), path.c_str(), std::strerror(ENOMEM));
    return false;
  }
  uint32_t version = 0;
  switch (Decode(bytes.data(), bytes.size(), out, &version)) {
    case DecodeResult::ok: return true;
    case DecodeResult::notDocument:
      message = tessary::Format(LoadResString(IDS_RVQ_NOT_DOCUMENT).c_str(), path.c_str());
      return false;
    case DecodeResult::newerVersion:
      message = tessary::Format(LoadResString(IDS_RVQ_NEWER_VERSION).c_str(), path.c_str(), version);
      return false;
    case DecodeResult::damaged: break;
  }
  message = tessary::Format(LoadResString(IDS_RVQ_DAMAGED).c_str(), path.c_str());
  return false;
}

bool SaveFile(const std::string& path, const CUpdateDocumentData& doc, std::string& message) {
  // Only a file that was there can be said to be left as it was.
  struct stat st;
  const unsigned failed = stat(path.c_str(), &st) == 0 ? IDS_RVQ_SAVE_FAILED : IDS_RVQ_SAVE_FAILED_NEW;
  const auto fail = [&](int err) {
    message = tessary::Format(LoadResString(failed).c_str(), path.c_str(), ErrnoText(err).c_str());
    return false;
  };
  std::string bytes;
  try {
    if (!Encode(doc, bytes)) return fail(EFBIG);
  } catch (const std::bad_alloc&) {
    return fail(ENOMEM);
  }

  // The old file is replaced only once the new one is complete on disk.
  if (const int err = ReplaceFileContents(path, bytes.data(), bytes.size())) return fail(err);
  return true;
}

}  // namespace rvq
