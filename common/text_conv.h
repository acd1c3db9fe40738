// The system's texts are 8-bit strings holding UTF-8; the toolkit shows wxString. A document
// written elsewhere may hold texts in an 8-bit code page: those are shown as Windows-1252.
#pragma once

#include <string>
#include <string_view>

#include <wx/string.h>

class wxMBConv;

// True when text is well-formed UTF-8 (no overlong forms, no surrogates, nothing past U+10FFFF).
bool IsValidUtf8(std::string_view text);

// A text as it is shown: UTF-8 when the whole text is valid UTF-8, otherwise every byte as its
// Windows-1252 character (the five bytes that code page leaves undefined as the C1 controls of
// the same number), so nothing is lost.
wxString FromSystemText(const std::string& text);
// A text as the system keeps it: always UTF-8. Only a text the user changed is taken back this
// way: one that was only shown keeps its bytes.
std::string ToSystemText(const wxString& text);
// A message that may carry file names or texts of either kind: each valid UTF-8 sequence as its
// character, each other byte as its Windows-1252 character.
wxString FromMessageText(const std::string& text);

// File names: the bytes the file system uses, exactly. Valid UTF-8 is shown as such; a byte that
// is not (a name written in an 8-bit code page) becomes a private-use character that converts
// back to that byte, as the toolkit's own file-name conversion does.
wxString FromSystemPath(const std::string& path);
std::string ToSystemPath(const wxString& path);
// A file name for reading: its bytes that are not UTF-8 as their Windows-1252 characters.
wxString ShownPath(const wxString& path);
// The file-name conversion above, for the toolkit's own file names (wxConvFileName).
wxMBConv& FileNameConversion();
