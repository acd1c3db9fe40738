#include "res/string_table.h"

// Not sorted: the lookup sorts a copy once.
const ResString g_ResStrings[] = {
#include "res/strings_prog.inc"
#include "res/strings_app.inc"
#include "res/strings_authoring.inc"
};

const std::size_t g_ResStringCount = sizeof g_ResStrings / sizeof g_ResStrings[0];
