#include "res/string_table.h"

#include "res/app_ids.h"
#include "res/string_ids.h"

// Not sorted: the lookup sorts a copy once.
#define RES_STRING(id, text) {id, text},
#define RES_NAMED_STRING(name, id, text) {name, text},
const ResString g_ResStrings[] = {
#include "res/strings_app.inc"
#include "res/strings_authoring.inc"
#include "res/strings_prog.inc"
};
#undef RES_STRING
#undef RES_NAMED_STRING

const std::size_t g_ResStringCount = sizeof g_ResStrings / sizeof g_ResStrings[0];
