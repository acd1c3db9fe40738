// Loading a programming file for the form's commands: the upgrade's "Browse" and a target's Add.
// No widgets: messages and the wait cursor go through the services.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <string>

#include "authoring/program_ids.h"
#include "platform/exceptions.h"

class CProgParse;
class CTargetObj;

// A file longer than a document can hold: 4 GiB or more for a programming file (its size is
// kept in 32 bits), 2 GiB or more for an image (a signed 32-bit count).
class CFileTooLargeException : public CException {
 public:
  CFileTooLargeException(std::string fileName, uint64_t limit) : m_strFileName(std::move(fileName)), m_limit(limit) {}
  std::string GetErrorMessage() const override;
  std::string m_strFileName;
  uint64_t m_limit;  // the first length refused
};

// A path that names a folder, a named pipe, a device or a socket rather than a file.
class CNotAFileException : public CException {
 public:
  CNotAFileException(std::string fileName, uint32_t mode) : m_strFileName(std::move(fileName)), m_mode(mode) {}
  std::string GetErrorMessage() const override;
  std::string m_strFileName;
  uint32_t m_mode;  // st_mode
};

inline constexpr uint64_t kProgramFileLimit = uint64_t{1} << 32;
inline constexpr uint64_t kImageFileLimit = uint64_t{1} << 31;

// The whole file's bytes. Only a regular file is read: anything else is refused with
// CNotAFileException before a byte is read, and without waiting for a pipe's writer. Throws
// CFileException when it cannot be opened or read, also when it yields fewer bytes than its
// length (it changed while being read), CFileTooLargeException for limit bytes and more, and
// CMemoryException.
std::string ReadWholeFile(const std::string& path, uint64_t limit = kProgramFileLimit);
// The same into a byte array of its own (an image file, which the document keeps as it is read).
std::unique_ptr<uint8_t[]> ReadWholeFileBytes(const std::string& path, uint64_t limit, uint32_t& length);

// The text of a failed parse: the code's own text with the line number.
std::string ParseFailureText(int code, uint32_t lineNumber);

// The message for a controller database that cannot be used: the file tried and why.
std::string DatabaseProblemText(const TdbStatus& status);

// What "Browse" hands the document for the software upgrade.
struct UpgradeProgram {
  ProgramIds ids;
  uint32_t size = 0;        // the file's length
  std::string programData;  // the protected text: the file's own, or the codec's for a plain file
};

// Reads, decodes (or parses) and looks up the IDs of the file at path, under the wait cursor; a
// plain file is protected only once its IDs are found, after its records have gone. False when
// it stopped: a failure to read, decode, parse or protect has been reported (OK box, naming the
// file); a text that does not parse whole is taken only when the user answers Yes to the
// question; a database that cannot be used is reported; a file without IDs ends without a
// message. out changes only on success.
bool LoadUpgradeProgram(const std::string& path, UpgradeProgram& out);

// One file as a target, under the wait cursor: read, decoded or parsed, IDs looked up, and refused
// with string 130 when its calibration ID is already among targets (case-sensitive, whole text).
// Null when nothing is to be added. Every refusal shown names the file above its text: a failure
// to read it, a plain text that does not parse (the parse's text), a duplicate. A protected file
// whose text does not parse whole is taken only when the user answers Yes to the question. A
// database that cannot be used is reported and sets *databaseUnusable (when given): every other
// file would meet it too. An exception after the read stage leaves the call for the command to
// report.
std::unique_ptr<CTargetObj> LoadTargetFromFile(const std::string& path,
                                               const std::list<std::unique_ptr<CTargetObj>>& targets,
                                               bool* databaseUnusable = nullptr);
