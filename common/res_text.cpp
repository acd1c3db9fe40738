#include "common/res_text.h"

#include "common/text_conv.h"
#include "platform/string_table.h"

wxString ResText(unsigned id) { return FromSystemText(LoadResString(id)); }

wxString CommandPrompt(int command) { return ResText(static_cast<unsigned>(command)).BeforeFirst('\n'); }

wxString CommandTooltip(int command) { return ResText(static_cast<unsigned>(command)).AfterFirst('\n'); }
