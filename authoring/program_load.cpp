#include "authoring/program_load.h"

#include <cstring>
#include <new>

#include "common/update_document_data.h"
#include "platform/archive.h"
#include "platform/file.h"
#include "platform/string_table.h"
#include "platform/text.h"
#include "platform/ui_services.h"
#include "prog/prog_base.h"
#include "protect/codec.h"

namespace {

enum : unsigned { IDS_DUPLICATE_TARGET = 130, IDS_FILE_TOO_LARGE = 2101 };

struct FreeCodecBuffer {
  void operator()(uint8_t* p) const noexcept { FreeBuffer(p); }
};
using CodecBuffer = std::unique_ptr<uint8_t, FreeCodecBuffer>;

// The text as the commands keep it: up to its first zero byte.
std::string TextOf(const std::string& bytes) { return std::string(bytes.c_str()); }

// A decoded text, parsed; false when the bytes are not a protected file.
bool DecodeAndParse(CProgParse& image, std::string& bytes) {
  uint8_t* out = nullptr;
  uint32_t outLength = 0;
  if (DecodeProtectedBuffer(0, bytes.data(), static_cast<uint32_t>(bytes.size()), &out, &outLength) < 0) return false;
  CodecBuffer decoded(out);  // released also when the parse throws
  ParseProgramText(image, decoded.get(), outLength);
  return true;
}

}  // namespace

std::string CFileTooLargeException::GetErrorMessage() const {
  const std::string limit = std::to_string(m_nLimit >> 30) + " GB";
  return tessary::Format(LoadResString(IDS_FILE_TOO_LARGE).c_str(), m_strFileName.c_str(), limit.c_str());
}

namespace {

// Opens path and reads all of it into the block that allocate gives for its length.
template <typename Allocate>
uint32_t ReadWholeFileInto(const std::string& path, unsigned openFlags, uint64_t limit, Allocate&& allocate) {
  CFile file(path, openFlags);
  const uint64_t length = file.GetLength();
  if (length >= limit) throw CFileTooLargeException(path, limit);
  const auto n = static_cast<uint32_t>(length);
  uint8_t* block = nullptr;
  try {
    block = allocate(n);
  } catch (const std::bad_alloc&) {
    AfxThrowMemoryException();
  }
  // A file that shrank under us would leave the rest of the block posing as data.
  if (file.Read(block, n) != n) AfxThrowFileException(CFileException::endOfFile, 0, path);
  file.Close();
  return n;
}

}  // namespace

std::string ReadWholeFile(const std::string& path, unsigned openFlags, uint64_t limit) {
  std::string bytes;
  ReadWholeFileInto(path, openFlags, limit, [&](uint32_t n) {
    bytes.resize(n);
    return reinterpret_cast<uint8_t*>(bytes.data());
  });
  return bytes;
}

std::unique_ptr<uint8_t[]> ReadWholeFileBytes(const std::string& path, unsigned openFlags, uint64_t limit,
                                              uint32_t& length) {
  std::unique_ptr<uint8_t[]> bytes;
  length = ReadWholeFileInto(path, openFlags, limit, [&](uint32_t n) {
    bytes.reset(new uint8_t[n]);
    return bytes.get();
  });
  return bytes;
}

void ParseProgramText(CProgParse& image, uint8_t* bytes, uint32_t length) {
  CMemFile memory(bytes, length, 0);
  CArchive ar(&memory, CArchive::load, PROG_ARCHIVE_BUFFER);
  image.Serialize(ar);
  ar.Close();
  memory.Detach();  // the bytes stay the caller's
}

bool LoadUpgradeProgram(const std::string& path, UpgradeProgram& out) {
  CProgParse image;
  uint32_t length = 0;
  std::string contents;
  // Reading, decoding, parsing and protecting: a failure here is reported and ends the command.
  if (!ReportExceptions([&] {
        std::string bytes = ReadWholeFile(path, CFile::modeRead | CFile::shareExclusive);
        length = static_cast<uint32_t>(bytes.size());
        if (DecodeAndParse(image, bytes)) {
          contents = TextOf(bytes);  // kept as the file has it
          return;
        }
        // Not protected: taken as plain text, and kept in its protected form.
        ParseProgramText(image, reinterpret_cast<uint8_t*>(bytes.data()), length);
        uint8_t* encoded = nullptr;
        uint32_t encodedLength = 0;
        if (EncodeProtectedBuffer(0, bytes.data(), length, &encoded, &encodedLength) >= 0) {
          CodecBuffer hold(encoded);
          contents = reinterpret_cast<const char*>(encoded);
        } else {
          contents = TextOf(bytes);
        }
      }))
    return false;

  ProgramIds ids;
  if (ReadProgramIds(image, ids) != IdLookup::ok) return false;
  out.ids = std::move(ids);
  out.size = length;
  out.programData = std::move(contents);
  return true;
}

std::unique_ptr<CTargetObj> LoadTargetFromFile(const std::string& path,
                                               const std::list<std::unique_ptr<CTargetObj>>& targets) {
  CWaitCursor wait;
  CProgParse records;
  bool loaded = false;
  // The read stage: a failure here is reported, and the file is not added.
  if (!ReportExceptions([&] {
        std::string bytes = ReadWholeFile(path, CFile::modeRead);
        // A plain file is read again by the image's own loader, which reports a parse failure.
        loaded = DecodeAndParse(records, bytes) || records.LoadFile(path);
      }))
    return nullptr;
  if (!loaded) return nullptr;

  ProgramIds ids;
  if (ReadProgramIds(records, ids) != IdLookup::ok) return nullptr;
  for (const auto& target : targets) {
    if (target->m_strCalibrationID == ids.calibrationID) {
      AfxMessageBox(tessary::Format(LoadResString(IDS_DUPLICATE_TARGET).c_str(), ids.calibrationID.c_str()), MB_OK);
      return nullptr;
    }
  }
  auto target = std::make_unique<CTargetObj>();
  target->m_strSoftwareID = std::move(ids.softwareID);
  target->m_strCalibrationID = std::move(ids.calibrationID);
  return target;
}
