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

// The seven newline-separated fields of a document template's string (string 129).
struct TemplateStrings {
  std::string windowTitle, docName, fileNewName, filterName, filterExt, regFileTypeId, regFileTypeName;
};
TemplateStrings ParseTemplateString(const std::string& text);
