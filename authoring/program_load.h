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
  CFileTooLargeException(std::string fileName, uint64_t limit) : m_strFileName(std::move(fileName)), m_nLimit(limit) {}
  std::string GetErrorMessage() const override;
  std::string m_strFileName;
  uint64_t m_nLimit;  // the first length refused
};

inline constexpr uint64_t kProgramFileLimit = uint64_t{1} << 32;
inline constexpr uint64_t kImageFileLimit = uint64_t{1} << 31;

// The whole file's bytes. Throws CFileException when it cannot be opened or read, also when it
// yields fewer bytes than its length (it changed while being read), CFileTooLargeException for
// limit bytes and more, and CMemoryException.
std::string ReadWholeFile(const std::string& path, unsigned openFlags, uint64_t limit = kProgramFileLimit);
// The same into a byte array of its own (an image file, which the document keeps as it is read).
std::unique_ptr<uint8_t[]> ReadWholeFileBytes(const std::string& path, unsigned openFlags, uint64_t limit,
                                              uint32_t& length);

// Parses programming-file text into image through a memory file and an archive with the usual
// 4096-byte buffer. The parse result is the image's own business: callers go on to the lookups.
void ParseProgramText(CProgParse& image, uint8_t* bytes, uint32_t length);

// What "Browse" hands the document for the software upgrade.
struct UpgradeProgram {
  ProgramIds ids;
  uint32_t size = 0;        // the file's length
  std::string programData;  // the protected text: the file's own, or the codec's for a plain file
};

// Reads, decodes (or parses and protects) and looks up the IDs of the file at path. False when it
// stopped: an exception while reading, decoding, parsing or protecting has been reported (OK box);
// a file without IDs ends without a message. out changes only on success.
bool LoadUpgradeProgram(const std::string& path, UpgradeProgram& out);

// One file as a target: read (decoded, or loaded as plain text, which reports its own parse
// failure), IDs looked up, and refused with string 130 when its calibration ID is already among
// targets (case-sensitive, whole text). Null when nothing is to be added. A failure to read the
// file is reported here; an exception after that leaves the call for the command to report.
std::unique_ptr<CTargetObj> LoadTargetFromFile(const std::string& path,
                                               const std::list<std::unique_ptr<CTargetObj>>& targets);
