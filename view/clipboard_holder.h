// A process of its own that serves a text as the X display's clipboard once the program is gone.
#pragma once

#include <sys/types.h>

#include <string>

// Starts the holder on the named display with the UTF-8 text; it owns the clipboard when this
// returns its process id, and ends when another program takes the clipboard or the display
// goes. -1 when it could not take the clipboard.
pid_t HoldClipboardText(const std::string& display, const std::string& utf8);
