// The compiled-in string table. Texts come from the *.inc files beside this header, one per area
// of the program, so that areas can add their texts without touching each other's; the names of
// their ids are in res/string_ids.h.
#pragma once

#include <cstddef>

struct ResString {
  unsigned id;
  const char* text;
};

extern const ResString g_ResStrings[];
extern const std::size_t g_ResStringCount;
