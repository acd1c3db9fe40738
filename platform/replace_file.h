// Replacing a file's contents so that a failure never leaves a damaged or empty file behind.
#pragma once

#include <cstddef>
#include <string>

// Writes the bytes to a new file beside path and renames it over path only once it is complete
// on disk (the new file takes the old one's permissions; through a symbolic link, the file it
// names is replaced and the link stays). Returns 0, or the errno value of the step that failed,
// in which case the old file is as it was and no temporary file is left.
int ReplaceFileContents(const std::string& path, const void* bytes, std::size_t length);
