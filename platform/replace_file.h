// Replacing a file's contents so that a failure never leaves a damaged or empty file behind.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

// What became of the file when ReplaceFileContents returned.
enum class ReplaceOutcome {
  replaced,        // it holds the new bytes, whole
  unchanged,       // the save failed; the file, or its absence, is as it was
  noNewFile,       // unchanged, because no new file can be made in its folder
  notReplaceable,  // unchanged, because its folder does not let this user replace it
  partlyWritten,   // a device or a named pipe took part of the bytes before the write failed
};

// Writes the bytes to a new file in path's folder and puts it in path's place only once it is
// complete on disk (the new file takes the old one's permissions). The new file has no name
// until then where the file system allows it, so a save that is killed leaves nothing behind;
// elsewhere it is a named temporary file (".tessary-" and six characters). Through symbolic
// links the file they name is written and the links stay; a dangling link gets its target
// created. Returns 0 or the errno value of the step that failed; outcome, when given, says what
// became of the file.
//
// A regular file is never written in place: where no new file can be made beside it (a folder
// the user may not write), the save is refused and the file left as it was. Only a name that is
// not a regular file (a device, a named pipe) is written in place, as opening it for writing
// would; a pipe without a reader fails with ENXIO.
int ReplaceFileContents(const std::string& path, const void* bytes, std::size_t length,
                        ReplaceOutcome* outcome = nullptr);

// For tests: every write of a replacement goes through this (::write unless replaced), so that a
// test can fail one part way or hold it up.
extern ssize_t (*g_replaceFileWrite)(int fd, const void* data, std::size_t size);
// For tests: false takes the named temporary file, as on a file system without unnamed files.
extern bool g_replaceFileUnnamed;
