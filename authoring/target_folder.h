// The folder in which the Add dialog for targets opens.
#pragma once

#include <string>

// Empty at start, never stored in the profile: set before each Add dialog and, after an OK, to
// the folder of the chosen files.
extern std::string g_strSourceCalFolder;

// The folder the next Add dialog starts in, given the remembered one and the preferences: the
// remembered folder while "AlwaysUseSourceCalFolder" is 0 and one is remembered; else
// "SourceCalPath", or the current directory when that is empty.
std::string AddStartFolder(const std::string& remembered, int alwaysUseSourceCalFolder,
                           const std::string& sourceCalPath, const std::string& currentDirectory);
