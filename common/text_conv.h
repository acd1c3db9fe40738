// The system's texts are 8-bit strings in the system's encoding; the toolkit shows wxString.
#pragma once

#include <string>

#include <wx/string.h>

// Decodes with the current encoding; bytes that are not valid in it are shown as Latin-1, so a
// text is never blanked.
wxString FromSystemText(const std::string& text);
// Encodes with the current encoding; characters it cannot hold are kept as Latin-1 when they fit
// in it, else as UTF-8.
std::string ToSystemText(const wxString& text);

// File names: the bytes the file system uses.
wxString FromSystemPath(const std::string& path);
std::string ToSystemPath(const wxString& path);
