// Start-up helpers without the toolkit: the command line and the document template's string.
#pragma once

#include <string>
#include <vector>

// What the command line asks for. A line without a file name asks for a new document, which
// start-up turns into doing nothing.
struct ShellRequest {
  enum Kind { fileNew, fileOpen, fileNothing };
  Kind kind = fileNew;
  std::string fileName;
};

// args are the arguments after the program name. The first argument that is not a switch is the
// file to open; switches start with "-" (unknown ones are ignored) and "--" ends them.
ShellRequest ParseCommandLine(const std::vector<std::string>& args);

// A file name as a full path, as the class library makes one: a relative name is taken from the
// current folder cwd (itself a full path), its "." parts left out and its leading ".." parts going
// up from cwd. A ".." after a folder of the name itself stays, since that folder may be a link.
// An absolute name stays as it is.
std::string FullPath(const std::string& name, const std::string& cwd);
// The same from the process's current folder; the name as it is when that cannot be had.
std::string FullPath(const std::string& name);

// The seven newline-separated fields of a document template's string (string 129).
struct TemplateStrings {
  std::string windowTitle, docName, fileNewName, filterName, filterExt, regFileTypeId, regFileTypeName;
};
TemplateStrings ParseTemplateString(const std::string& text);
