// The string table's texts as the toolkit shows them.
#pragma once

#include <wx/string.h>

// The text of string-table entry id; empty when the table has none.
wxString ResText(unsigned id);

// A command's string is its status-bar prompt, then "\n" and its tooltip.
wxString CommandPrompt(int command);
wxString CommandTooltip(int command);
