// The programming-file text reader and writer. Whatever a stream load accepts is saved, loaded
// again and saved again: the second image has the same records, start address and termination as
// the first, and the second text is byte for byte the first. Done twice: without the header block
// (the plain save), and with it, where the header settings must come back as well.
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_check.h"
#include "platform/archive.h"
#include "platform/file.h"
#include "platform/stream.h"
#include "platform/ui_services.h"
#include "prog/prog_base.h"
#include "protect/codec.h"

namespace {

// The loads and saves show nothing; a message box that does appear must not wait for an answer.
class SilentUi : public IUiServices {
 public:
  int MessageBox(const std::string&, unsigned style) override {
    return (style & MB_TYPEMASK) == MB_OK ? IDOK : (style & MB_TYPEMASK) == MB_YESNO ? IDNO : IDCANCEL;
  }
};

HRESULT LoadFromBytes(CProgParse& image, const void* data, size_t size) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
  FUZZ_CHECK(block != nullptr);
  if (size) std::memcpy(GlobalLock(block), data, size);
  GlobalUnlock(block);
  IStream* stream = nullptr;
  FUZZ_CHECK(CreateStreamOnHGlobal(block, true, &stream) == S_OK);
  const HRESULT hr = image.LoadFromStream(stream);
  stream->Release();
  return hr;
}

// The saved text; a save after a protected load hands out the protected form, which must decode.
std::string SaveText(CProgParse& image) {
  IStream* stream = nullptr;
  FUZZ_CHECK(image.SaveToStream(&stream) == S_OK);
  STATSTG stat;
  FUZZ_CHECK(stream->Stat(&stat, STATFLAG_NONAME) == S_OK);
  std::string bytes(static_cast<size_t>(stat.cbSize), '\0');
  uint32_t read = 0;
  FUZZ_CHECK(stream->Read(bytes.data(), static_cast<uint32_t>(bytes.size()), &read) == S_OK);
  FUZZ_CHECK(read == bytes.size());
  stream->Release();
  if (!image.m_bLoadedProtected) return bytes;
  uint8_t* plain = nullptr;
  uint32_t length = 0;
  FUZZ_CHECK(DecodeProtectedBuffer(0, bytes.data(), static_cast<uint32_t>(bytes.size()), &plain, &length) == CODEC_OK);
  std::string text(reinterpret_cast<const char*>(plain), length);
  FreeBuffer(plain);
  return text;
}

// The saved text read back the way every file load reads it, with the file type of the image it
// came from: without the header block the text does not carry it.
int LoadText(CProgParse& image, const std::string& text, int32_t fileType) {
  image.m_nFileType = fileType;
  CMemFile file(reinterpret_cast<uint8_t*>(const_cast<char*>(text.data())), static_cast<uint32_t>(text.size()));
  CArchive ar(&file, CArchive::load, PROG_ARCHIVE_BUFFER);
  const int code = image.Serialize(ar);
  ar.Close();
  return code;
}

bool SameRecords(const CProgBase& a, const CProgBase& b) {
  if (a.m_listRecords.size() != b.m_listRecords.size()) return false;
  auto j = b.m_listRecords.begin();
  for (const CProgRecord& r : a.m_listRecords) {
    const CProgRecord& s = *j++;
    if (r.m_dwAddress != s.m_dwAddress || r.m_nLength != s.m_nLength || r.m_nRecordType != s.m_nRecordType ||
        std::memcmp(r.m_data, s.m_data, r.m_nLength) != 0)
      return false;
  }
  return true;
}

// What the writer makes of the loaded termination: a word size of 2 or 3 writes S9 with the low
// 16 bits, 4 writes S7 unless an S9 was read, and without either nothing is written.
void ExpectedTermination(const CProgBase& image, uint8_t& termination, uint32_t& start) {
  const uint8_t w = image.m_nMachineWordSize;
  if (w == 2 || w == 3 || image.m_nTermination == 9) {
    termination = 9;
    start = image.m_dwStartAddress & 0xFFFF;
  } else if (w == 4 || image.m_nTermination == 7) {
    termination = 7;
    start = image.m_dwStartAddress;
  } else {
    termination = 0;
    start = 0;
  }
}

bool SameSettings(const CProgBase& a, const CProgBase& b) {
  if (a.m_listInitRAM.size() != b.m_listInitRAM.size()) return false;
  auto j = b.m_listInitRAM.begin();
  for (const CInitRAMSection& s : a.m_listInitRAM) {
    const CInitRAMSection& t = *j++;
    if (s.m_dwRAMAddress != t.m_dwRAMAddress || s.m_dwROMAddress != t.m_dwROMAddress || s.m_dwLength != t.m_dwLength)
      return false;
  }
  return a.m_strProject == b.m_strProject && a.m_nEndian == b.m_nEndian &&
         a.m_nMachineWordSize == b.m_nMachineWordSize && a.m_bBankedMemoryModel == b.m_bBankedMemoryModel &&
         a.m_nTableLayout == b.m_nTableLayout && a.m_dwTableAddress == b.m_dwTableAddress &&
         a.m_dwCRCBlockPointer == b.m_dwCRCBlockPointer && a.m_dwModuleConfigAddress == b.m_dwModuleConfigAddress &&
         a.m_nFileType == b.m_nFileType && a.m_wSoftwareVersionID == b.m_wSoftwareVersionID;
}

void CheckRoundTrip(CProgParse& loaded, bool headerBlock) {
  loaded.m_bProtectedOutput = headerBlock ? 1 : 0;
  const std::string first = SaveText(loaded);

  CProgParse again;
  FUZZ_CHECK(LoadText(again, first, loaded.m_nFileType) == PROG_OK);
  FUZZ_CHECK(SameRecords(loaded, again));
  uint8_t termination;
  uint32_t start;
  ExpectedTermination(loaded, termination, start);
  FUZZ_CHECK(again.m_nTermination == termination);
  FUZZ_CHECK(again.m_dwStartAddress == start);
  const bool written = headerBlock && loaded.m_nMachineWordSize != 0;
  if (written) FUZZ_CHECK(SameSettings(loaded, again));

  again.m_bProtectedOutput = loaded.m_bProtectedOutput;
  again.m_bLoadedProtected = 0;
  const std::string second = SaveText(again);
  FUZZ_CHECK(second == first);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static SilentUi ui;
  SetUiServices(&ui);
  if (size > UINT32_MAX) return 0;
  CProgParse loaded;
  if (LoadFromBytes(loaded, data, size) != S_OK) return 0;
  CheckRoundTrip(loaded, false);
  CheckRoundTrip(loaded, true);
  return 0;
}
