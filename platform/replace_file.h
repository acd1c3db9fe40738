// Replacing a file's contents so that a failure never leaves a damaged or empty file behind.
#pragma once

#include <cstddef>
#include <string>

// Writes the bytes to a new file beside path and renames it over path only once it is complete
// on disk (the new file takes the old one's permissions). Through symbolic links the file they
// name is written and the links stay; a dangling link gets its target created. Returns 0, or
// the errno value of the step that failed, in which case the old file is as it was and no
// temporary file is left.
//
// Two cases are written in place instead, as opening the file for writing would: a name that
// is not a regular file (a device, a named pipe; a pipe without a reader fails with ENXIO), and
// a regular file beside which no temporary file can be made (a folder the user may not write).
// A failure of such a write is reported the same way, but the file may then be left short.
int ReplaceFileContents(const std::string& path, const void* bytes, std::size_t length);
