// The update document reader. A file it accepts re-encodes to exactly its bytes; a file it
// refuses gets a message that names it, and the document it was read into stays as it was.
// Each input is also tried with its closing CRC made right, so that the fuzzed bytes reach the
// members behind it.
#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "document/update_document_format.h"
#include "fuzz_check.h"
#include "support/update_documents.h"

namespace {

// One scratch file for the process, removed at exit.
class ScratchFile {
 public:
  ScratchFile() {
    const char* dir = std::getenv("TMPDIR");
    m_path = std::string(dir && *dir ? dir : "/tmp") + "/tessary-fuzz-XXXXXX.rvq";
    const int fd = ::mkstemps(m_path.data(), 4);
    FUZZ_CHECK(fd >= 0);
    ::close(fd);
  }
  ~ScratchFile() { std::remove(m_path.c_str()); }
  const std::string& path() const { return m_path; }

  void Write(const uint8_t* data, size_t size) {
    std::FILE* f = std::fopen(m_path.c_str(), "wb");
    FUZZ_CHECK(f != nullptr);
    FUZZ_CHECK(size == 0 || std::fwrite(data, 1, size, f) == size);
    FUZZ_CHECK(std::fclose(f) == 0);
  }

 private:
  std::string m_path;
};

bool SameDocument(const CUpdateDocumentData& a, const CUpdateDocumentData& b) {
  if (a.m_strCalibrationID != b.m_strCalibrationID || a.m_strSoftwareID != b.m_strSoftwareID ||
      a.m_dwSize != b.m_dwSize || a.m_strProgramData != b.m_strProgramData || a.m_strComments != b.m_strComments ||
      a.m_bClearRuntime != b.m_bClearRuntime || a.m_bClearFaultHistory != b.m_bClearFaultHistory ||
      a.m_bResetBreakin != b.m_bResetBreakin || a.m_nImageSize != b.m_nImageSize ||
      (a.m_pImageData == nullptr) != (b.m_pImageData == nullptr) || a.m_targets.size() != b.m_targets.size())
    return false;
  if (a.m_pImageData &&
      std::memcmp(a.m_pImageData.get(), b.m_pImageData.get(), static_cast<size_t>(a.m_nImageSize)) != 0)
    return false;
  auto j = b.m_targets.begin();
  for (const auto& t : a.m_targets) {
    const auto& u = *j++;
    if (t->m_strCalibrationID != u->m_strCalibrationID || t->m_strSoftwareID != u->m_strSoftwareID) return false;
  }
  return true;
}

void Check(const uint8_t* data, size_t size) {
  static ScratchFile file;
  file.Write(data, size);

  // Every member holds something, to see that a refused file changes none of them.
  const CUpdateDocumentData untouched = SampleUpdateDocument();
  CUpdateDocumentData loaded = SampleUpdateDocument();
  std::string message;
  const bool ok = rvq::LoadFile(file.path(), loaded, message);

  CUpdateDocumentData decoded = SampleUpdateDocument();
  const rvq::DecodeResult result = rvq::Decode(data, size, decoded);
  FUZZ_CHECK(ok == (result == rvq::DecodeResult::ok));

  if (!ok) {
    FUZZ_CHECK(message.find(file.path()) != std::string::npos);
    FUZZ_CHECK(SameDocument(loaded, untouched));
    FUZZ_CHECK(SameDocument(decoded, untouched));
    return;
  }
  FUZZ_CHECK(SameDocument(loaded, decoded));
  std::string bytes;
  FUZZ_CHECK(rvq::Encode(loaded, bytes));
  FUZZ_CHECK(bytes.size() == size && std::memcmp(bytes.data(), data, size) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Check(data, size);
  if (size < rvq::kMinimumSize || size > UINT32_MAX) return 0;
  const size_t crcAt = size - 4;
  const auto crc = static_cast<uint32_t>(crc32(crc32(0, nullptr, 0), data, static_cast<uInt>(crcAt)));
  std::vector<uint8_t> fixed(data, data + size);
  for (int i = 0; i < 4; ++i) fixed[crcAt + i] = static_cast<uint8_t>(crc >> (8 * i));
  if (std::memcmp(fixed.data() + crcAt, data + crcAt, 4) != 0) Check(fixed.data(), fixed.size());
  return 0;
}
