// Splitting a path at its last "/". Paths are the file system's bytes: nothing here reads them
// as text, so a name that is not UTF-8 splits like any other.
#pragma once

#include <string>

namespace tessary {

// The folder that holds path, as a name to open: "/a/b/c.sr" gives "/a/b", "/c.sr" gives "/",
// a bare name gives "."; "a/b/" gives "a/b".
std::string ContainingFolder(const std::string& path);

// The folder part of path with its closing "/", to put a name after: "/a/b/c.sr" gives "/a/b/",
// a bare name gives "". FolderPart(p) + NamePart(p) is p.
std::string FolderPart(const std::string& path);

// The name after the last "/": "/a/b/c.sr" gives "c.sr", "a/b/" gives "".
std::string NamePart(const std::string& path);

}  // namespace tessary
