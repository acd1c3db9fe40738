#include "authoring/program_load.h"

#include <malloc.h>
#include <sys/stat.h>

#include <cstring>
#include <functional>
#include <new>
#include <optional>

#include "document/update_document_data.h"
#include "platform/file.h"
#include "platform/string_table.h"
#include "platform/text.h"
#include "platform/ui_services.h"
#include "prog/prog_base.h"
#include "protect/codec.h"
#include "res/string_ids.h"

namespace {

// The text as the commands keep it: up to its first zero byte.
std::string TextOf(const std::string& bytes) { return std::string(bytes.c_str()); }

// What a file of this mode is, for a message.
std::string KindOf(uint32_t mode) {
  switch (mode & S_IFMT) {
    case S_IFDIR: return LoadResString(IDS_KIND_FOLDER);
    case S_IFIFO: return LoadResString(IDS_KIND_PIPE);
    case S_IFCHR:
    case S_IFBLK: return LoadResString(IDS_KIND_DEVICE);
    case S_IFSOCK: return LoadResString(IDS_KIND_SOCKET);
    default: return LoadResString(IDS_KIND_OTHER);
  }
}

// A regular file opened for reading; anything else is refused before a byte is read.
class CRegularFile : public CFile {
 public:
  explicit CRegularFile(const std::string& path) {
    struct stat st;
    const int fd = OpenRegularForReading(path, st);
    if (fd == kNotRegularFile) throw CNotAFileException(path, static_cast<uint32_t>(st.st_mode));
    if (fd < 0) AfxThrowFileException(CFileException::CauseFromErrno(-fd), -fd, path);
    m_hFile = fd;
    m_strFileName = path;
  }
};

// Opens path and reads all of it into the block that allocate gives for its length.
template <typename Allocate>
uint32_t ReadWholeFileInto(const std::string& path, uint64_t limit, Allocate&& allocate) {
  CRegularFile file(path);
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

// The wait cursor for as long as a command works, taken down while a message box is up so that
// the box does not look busy.
class CommandCursor {
 public:
  CommandCursor() { m_wait.emplace(); }
  int MessageBox(const std::string& text, unsigned style) {
    m_wait.reset();
    const int answer = AfxMessageBox(text, style);
    m_wait.emplace();
    return answer;
  }

 private:
  std::optional<CWaitCursor> m_wait;
};

// A message about the file at path: the path on the first line, then what is wrong with it
// (once only, for a text that already starts so).
std::string AboutFile(const std::string& path, const std::string& text) {
  if (text.size() > path.size() && text.compare(0, path.size(), path) == 0 && text[path.size()] == '\n') return text;
  return path + "\n" + text;
}

// Runs work; a class-library exception or running out of memory is reported, naming the file,
// and gives false.
bool ReportFailures(CommandCursor& cursor, const std::string& path, const std::function<void()>& work) {
  try {
    work();
    return true;
  } catch (...) {
    cursor.MessageBox(AboutFile(path, FailureText()), MB_OK);
  }
  return false;
}

// Whether to go on with a text that did not parse whole. No is the default; only Yes takes it.
bool TakeAnyway(CommandCursor& cursor, const std::string& path, int code, uint32_t lineNumber) {
  const std::string question = tessary::Format(LoadResString(IDS_TAKE_DAMAGED_PROGRAM).c_str(), path.c_str(),
                                               ParseFailureText(code, lineNumber).c_str());
  return cursor.MessageBox(question, MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2) == IDYES;
}

// The read stage of both commands: the file's bytes, decoded or taken as plain text, parsed into
// image. A failure here is reported, naming the file, and gives false.
bool ReadAndParse(CommandCursor& cursor, const std::string& path, CProgParse& image, std::string& bytes,
                  bool& isProtected, int& code) {
  return ReportFailures(cursor, path, [&] {
    bytes = ReadWholeFile(path);
    code = ParseProgramBytes(image, reinterpret_cast<uint8_t*>(bytes.data()), static_cast<uint32_t>(bytes.size()),
                             isProtected);
  });
}

// The IDs of image; false when it has none. A database that cannot be used is reported and sets
// *databaseUnusable (when given).
bool LookUpIds(CommandCursor& cursor, CProgBase& image, ProgramIds& ids, bool* databaseUnusable = nullptr) {
  TdbStatus database;
  const IdLookup lookup = ReadProgramIds(image, ids, &database);
  if (lookup == IdLookup::databaseUnusable) {
    cursor.MessageBox(DatabaseProblemText(database), MB_OK);
    if (databaseUnusable) *databaseUnusable = true;
  }
  return lookup == IdLookup::ok;
}

}  // namespace

std::string CFileTooLargeException::GetErrorMessage() const {
  const std::string limit = std::to_string(m_limit >> 30) + " GB";
  return tessary::Format(LoadResString(IDS_FILE_TOO_LARGE).c_str(), m_strFileName.c_str(), limit.c_str());
}

std::string CNotAFileException::GetErrorMessage() const {
  return tessary::Format(LoadResString(IDS_NOT_A_FILE).c_str(), m_strFileName.c_str(), KindOf(m_mode).c_str());
}

std::string ReadWholeFile(const std::string& path, uint64_t limit) {
  std::string bytes;
  ReadWholeFileInto(path, limit, [&](uint32_t n) {
    bytes.resize(n);
    return reinterpret_cast<uint8_t*>(bytes.data());
  });
  return bytes;
}

std::unique_ptr<uint8_t[]> ReadWholeFileBytes(const std::string& path, uint64_t limit, uint32_t& length) {
  std::unique_ptr<uint8_t[]> bytes;
  length = ReadWholeFileInto(path, limit, [&](uint32_t n) {
    bytes.reset(new uint8_t[n]);
    return bytes.get();
  });
  return bytes;
}

std::string ParseFailureText(int code, uint32_t lineNumber) {
  const std::string format = code > 0 ? LoadResString(static_cast<unsigned>(code)) : std::string();
  if (format.empty()) return tessary::Format(LoadResString(IDS_PARSE_FAILED).c_str(), lineNumber, code);
  return tessary::Format(format.c_str(), lineNumber);
}

std::string DatabaseProblemText(const TdbStatus& status) {
  std::string why;
  switch (status.problem) {
    case TdbProblem::none: return std::string();
    case TdbProblem::missing: why = LoadResString(IDS_DATABASE_MISSING); break;
    case TdbProblem::notRegularFile:
      why = tessary::Format(LoadResString(IDS_DATABASE_NOT_A_FILE).c_str(), KindOf(status.fileMode).c_str());
      break;
    case TdbProblem::unreadable:
      why = tessary::Format(LoadResString(IDS_DATABASE_UNREADABLE).c_str(), std::strerror(status.osError));
      break;
    case TdbProblem::notDatabase:
      why = tessary::Format(LoadResString(IDS_DATABASE_NOT_A_DATABASE).c_str(), status.detail.c_str());
      break;
    case TdbProblem::noParameterTable: why = LoadResString(IDS_DATABASE_NO_TABLE); break;
    case TdbProblem::missingColumn:
      why = tessary::Format(LoadResString(IDS_DATABASE_NO_COLUMN).c_str(), status.detail.c_str());
      break;
    case TdbProblem::computedColumn:
      why = tessary::Format(LoadResString(IDS_DATABASE_COMPUTED_COLUMN).c_str(), status.detail.c_str());
      break;
    case TdbProblem::noUniqueKey: why = LoadResString(IDS_DATABASE_NO_KEY); break;
    case TdbProblem::queryUnfinished: why = LoadResString(IDS_DATABASE_UNFINISHED); break;
  }
  return tessary::Format(LoadResString(IDS_DATABASE_UNUSABLE).c_str(), status.path.c_str(), why.c_str());
}

bool LoadUpgradeProgram(const std::string& path, UpgradeProgram& out) {
  CommandCursor cursor;
  auto image = std::make_unique<CProgParse>();
  std::string bytes;
  bool isProtected = false;
  int code = PROG_OK;
  if (!ReadAndParse(cursor, path, *image, bytes, isProtected, code)) return false;
  // A plain text is kept in its protected form once its IDs are found.
  const bool plain = !isProtected;
  // This text goes to the controller: one that does not read whole is taken only on request.
  if (code != PROG_OK && !TakeAnyway(cursor, path, code, image->m_nLineNumber)) return false;

  ProgramIds ids;
  if (!LookUpIds(cursor, *image, ids)) return false;
  // The records are not needed for what is kept. Before an encode, their many small blocks, which
  // the heap would keep for itself, go back to the system: the encode's large blocks then do not
  // come on top of them.
  image.reset();
  if (plain) ::malloc_trim(0);

  const auto length = static_cast<uint32_t>(bytes.size());
  std::string contents;
  if (!ReportFailures(cursor, path, [&] {
        // A text that cannot be protected is kept plain.
        if (plain && EncodeProtectedText(0, bytes.data(), length, contents) >= 0) return;
        if (std::memchr(bytes.data(), 0, bytes.size()) != nullptr) {
          contents = TextOf(bytes);
        } else {
          contents = std::move(bytes);  // the file's own text, kept without a copy
        }
      }))
    return false;

  out.ids = std::move(ids);
  out.size = length;
  out.programData = std::move(contents);
  return true;
}

std::unique_ptr<CTargetObj> LoadTargetFromFile(const std::string& path,
                                               const std::list<std::unique_ptr<CTargetObj>>& targets,
                                               bool* databaseUnusable) {
  CommandCursor cursor;
  CProgParse records;
  bool isProtected = false;
  int code = PROG_OK;
  {
    std::string bytes;  // not needed once parsed
    if (!ReadAndParse(cursor, path, records, bytes, isProtected, code)) return nullptr;
  }
  if (code != PROG_OK) {
    if (!isProtected) {
      cursor.MessageBox(AboutFile(path, ParseFailureText(code, records.m_nLineNumber)), MB_OK);
      return nullptr;
    }
    if (!TakeAnyway(cursor, path, code, records.m_nLineNumber)) return nullptr;
  }

  ProgramIds ids;
  if (!LookUpIds(cursor, records, ids, databaseUnusable)) return nullptr;
  for (const auto& target : targets) {
    if (target->m_strCalibrationID == ids.calibrationID) {
      cursor.MessageBox(
          AboutFile(path, tessary::Format(LoadResString(IDS_DUPLICATE_TARGET).c_str(), ids.calibrationID.c_str())),
          MB_OK);
      return nullptr;
    }
  }
  auto target = std::make_unique<CTargetObj>();
  target->m_strSoftwareID = std::move(ids.softwareID);
  target->m_strCalibrationID = std::move(ids.calibrationID);
  return target;
}
