#include "res/string_table.h"

// Not sorted: the lookup sorts a copy once.
const ResString g_ResStrings[] = {
#include "res/strings_prog.inc"
#if __has_include("res/strings_app.inc")
#include "res/strings_app.inc"
#endif
#if __has_include("res/strings_authoring.inc")
#include "res/strings_authoring.inc"
#endif
};

const std::size_t g_ResStringCount = sizeof g_ResStrings / sizeof g_ResStrings[0];
