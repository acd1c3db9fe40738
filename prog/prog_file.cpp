// Programming files and streams: format detection, file load, stream load and save, file save.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "platform/path.h"
#include "platform/replace_file.h"
#include "platform/string_table.h"
#include "platform/text.h"
#include "prog/prog_base.h"
#include "protect/codec.h"

namespace {

constexpr uint32_t kMemFileGrowth = 1024;

// The protected form of length bytes, or an empty holder when encoding fails.
CodecBuffer Encode(const uint8_t* text, uint32_t length, uint32_t& encodedLength) {
  uint8_t* pOutBuffer = nullptr;
  encodedLength = 0;
  if (EncodeProtectedBuffer(0, text, length, &pOutBuffer, &encodedLength) < 0) return CodecBuffer();
  return CodecBuffer(pOutBuffer);
}

// The message of a failed parse or store: the code's text with the line number.
void ShowResultMessage(int code, uint32_t lineNumber) {
  AfxMessageBox(tessary::Format(LoadResString(static_cast<unsigned>(code)).c_str(), lineNumber), MB_OK);
}

// Opens path for reading; a message box tells why it cannot be.
bool OpenToRead(CStdioFile& file, const std::string& path) {
  CFileException error;
  if (file.Open(path, CFile::modeRead, &error)) return true;
  error.ReportError(MB_OK);
  return false;
}

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

// Folder (with its slash), name and extension (with its dot) of a path.
struct PathParts {
  std::string folder, name, ext;
};

PathParts SplitPath(const std::string& path) {
  PathParts p;
  p.folder = tessary::FolderPart(path);
  const std::string file = tessary::NamePart(path);
  const size_t dot = file.rfind('.');
  if (dot == std::string::npos) {
    p.name = file;
  } else {
    p.name = file.substr(0, dot);
    p.ext = file.substr(dot);
  }
  return p;
}

// Writes bytes to path, replacing the old file only once the new one is complete, so that a
// failed save leaves the old file as it was. Throws CFileException.
void ReplaceFile(const std::string& path, const uint8_t* bytes, uint32_t length) {
  if (const int err = ReplaceFileContents(path, bytes, length))
    AfxThrowFileException(CFileException::CauseFromErrno(err), err, path);
}

// The image's text, after the leading text when given, through a storing archive into a memory
// file. Returns the store's code.
int StoreToMemFile(CProgBase& image, CMemFile& mem, const char* leadingText = nullptr) {
  CArchive ar(&mem, CArchive::store, PROG_ARCHIVE_BUFFER);
  if (leadingText) ar.WriteString(leadingText);  // verbatim: the caller supplies its line ends
  const int code = image.Serialize(ar);
  ar.Close();
  return code;
}

// The stream result of a parse's code.
HRESULT StreamResult(int code) {
  if (code == PROG_OK) return S_OK;
  return code == PROG_E_NO_DATA ? PROG_E_STREAM_NO_DATA : PROG_E_STREAM_PARSE;
}

// A stream over a new global block holding length bytes. Throws CMemoryException when no block.
HRESULT StreamOverCopy(const uint8_t* bytes, uint32_t length, IStream** stream) {
  *stream = nullptr;
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, length);
  if (!block) AfxThrowMemoryException();
  if (length > 0) std::memcpy(GlobalLock(block), bytes, length);
  GlobalUnlock(block);
  const HRESULT hr = CreateStreamOnHGlobal(block, true, stream);
  if (FAILED(hr)) GlobalFree(block);
  return hr;
}

}  // namespace

int ParseProgramText(CProgBase& image, uint8_t* bytes, uint32_t length) {
  CMemFile mem(bytes, length, 0);
  CArchive ar(&mem, CArchive::load, PROG_ARCHIVE_BUFFER);
  const int code = image.Serialize(ar);
  ar.Close();
  mem.Detach();  // the bytes stay the caller's
  return code;
}

int ParseProgramBytes(CProgBase& image, uint8_t* bytes, uint32_t length, bool& wasProtected) {
  uint8_t* out = nullptr;
  uint32_t outLength = 0;
  wasProtected = DecodeProtectedBuffer(0, bytes, length, &out, &outLength) >= 0;
  if (!wasProtected) return ParseProgramText(image, bytes, length);
  const CodecBuffer decoded(out);  // released also when the parse throws
  return ParseProgramText(image, decoded.get(), outLength);
}

int CProgBase::DetectFileType(std::string path) {
  CStdioFile file;
  if (!OpenToRead(file, path)) return PROG_FORMAT_UNKNOWN;
  try {
    std::string line;
    while (file.ReadString(line)) {
      if (line.empty()) continue;
      if (line[0] == ':') return PROG_FORMAT_INTEL_HEX;
      if (line[0] == 'S') return PROG_FORMAT_SRECORD;
    }
  } catch (const CFileException& e) {
    e.ReportError(MB_OK);
  }
  return PROG_FORMAT_UNKNOWN;
}

bool CProgBase::LoadFile(std::string path) {
  CStdioFile file;
  if (!OpenToRead(file, path)) return false;
  try {
    Reset();
    int code = PROG_OK;
    ReadArchive(file, code);
    if (code == PROG_OK) return true;
    file.Close();
    ShowResultMessage(code, m_nLineNumber);
  } catch (const CException&) {
  } catch (const std::bad_alloc&) {
  }
  return false;
}

bool CProgBase::ReadArchive(CFile& file, int& code) {
  CWaitCursor wait;
  Reset();
  CArchive ar(&file, CArchive::load, PROG_ARCHIVE_BUFFER);
  code = Serialize(ar);
  ar.Close();
  return true;
}

HRESULT CProgBase::LoadFromStream(IStream* stream) {
  if (!stream) return E_POINTER;
  STATSTG stat;
  HRESULT hr = stream->Stat(&stat, STATFLAG_NONAME);
  if (FAILED(hr)) return hr;
  // Lengths are 32-bit here: a larger stream is refused rather than read in part.
  if (stat.cbSize > UINT32_MAX) return E_OUTOFMEMORY;
  const auto size = static_cast<uint32_t>(stat.cbSize);

  CodecBuffer readBuffer(AllocBuffer(size));
  if (!readBuffer) return E_OUTOFMEMORY;
  uint32_t readLength = 0;
  hr = stream->Read(readBuffer.get(), size, &readLength);
  if (FAILED(hr)) return hr;
  // Only what the stream delivered is text: it may stand short of its end.
  if (readLength > size) readLength = size;

  bool wasProtected = false;
  try {
    hr = StreamResult(ParseProgramBytes(*this, readBuffer.get(), readLength, wasProtected));
  } catch (const CException&) {
    hr = PROG_E_STREAM_LOAD;
  } catch (const std::bad_alloc&) {
    hr = PROG_E_STREAM_LOAD;
  }
  // Known before the parse, so also after one that failed.
  m_bLoadedProtected = wasProtected ? 1 : 0;
  return hr;
}

HRESULT CProgBase::SaveToStream(IStream** stream) {
  if (!stream) return E_POINTER;
  CMemFile mem(kMemFileGrowth);
  HRESULT hr = S_OK;
  try {
    if (StoreToMemFile(*this, mem) != PROG_OK) hr = PROG_E_STREAM_STORE;
  } catch (const CException&) {
    hr = E_OUTOFMEMORY;
  } catch (const std::bad_alloc&) {
    hr = E_OUTOFMEMORY;
  }
  if (FAILED(hr)) return hr;

  hr = E_OUTOFMEMORY;
  const auto length = static_cast<uint32_t>(mem.GetLength());
  try {
    if (!m_bLoadedProtected) {
      hr = StreamOverCopy(mem.GetBufferPtr(), length, stream);
    } else {
      uint32_t uBufferLength;
      // A failed encoding makes no stream.
      if (const CodecBuffer encoded = Encode(mem.GetBufferPtr(), length, uBufferLength))
        hr = StreamOverCopy(encoded.get(), uBufferLength, stream);
    }
  } catch (const CException& e) {
    e.ReportError(MB_OK);
    hr = E_OUTOFMEMORY;
  }
  return hr;
}

bool CProgBase::SaveFile(std::string path, const char* leadingText, bool noPrompt, int mode) {
  CWaitCursor wait;
  const PathParts parts = SplitPath(path);
  const bool protectedMode = mode == kProgSaveProtected;
  const bool protectedTarget = protectedMode && tessary::ToLowerAscii(parts.ext) == ".srz";
  // A plain save writes the ".sr" file, and that is the one the user is asked about.
  const std::string target = protectedMode ? path : parts.folder + parts.name + ".sr";
  bool saved = false;
  ReportExceptions([&] {
    if (!noPrompt && FileExists(target) &&
        AfxMessageBox(tessary::Format("Overwrite %s?", target.c_str()), MB_YESNO) == IDNO)
      return;

    CMemFile mem(kMemFileGrowth);
    m_bProtectedOutput = protectedMode ? 1 : 0;
    const int code = StoreToMemFile(*this, mem, protectedMode ? leadingText : nullptr);
    if (code != PROG_OK) {
      ShowResultMessage(code, m_nLineNumber);
      return;
    }
    const auto length = static_cast<uint32_t>(mem.GetLength());
    if (!protectedTarget) {
      ReplaceFile(target, mem.GetBufferPtr(), length);
      saved = true;
      return;
    }
    uint32_t uBufferLength;
    const CodecBuffer encoded = Encode(mem.GetBufferPtr(), length, uBufferLength);
    // An encoding failure writes nothing and is a failed save.
    if (!encoded) return;
    ReplaceFile(target, encoded.get(), uBufferLength);
    saved = true;
  });
  return saved;
}
