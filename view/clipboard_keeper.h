// What the target list copies stays on the clipboard after the program ends: on X11 the
// clipboard's text lives in the program that copied it.
#pragma once

#include <wx/string.h>

// Notes that the list's text is now on the clipboard.
void NoteListTextOnClipboard(const wxString& text);
// At exit: when the program still owns the clipboard with the list's text, lets the toolkit hand
// it to a clipboard manager and, where there is none, leaves it with a process of its own.
void KeepListTextOnClipboard();
