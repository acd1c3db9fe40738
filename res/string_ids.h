// The names of the string table's texts. A name is declared beside its text, in the
// res/strings_*.inc of its area:
//   RES_NAMED_STRING(name, id, text)  a text the code asks for by a name of its own;
//   RES_STRING(id, text)              a text under an id declared elsewhere (a command's prompt
//                                     under the command's id, res/app_ids.h) or under a number.
#pragma once

#define RES_STRING(id, text)
#define RES_NAMED_STRING(name, id, text) name = id,
enum : unsigned {
#include "res/strings_app.inc"
#include "res/strings_authoring.inc"
#include "res/strings_prog.inc"
};
#undef RES_STRING
#undef RES_NAMED_STRING
