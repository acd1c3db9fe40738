#include <gtest/gtest.h>

#include <map>

#include "res/string_table.h"

namespace {

// Names and numbers are written by hand in each area's table: two texts must never share an id,
// or the lookup would show one of them in the other's place.
TEST(StringTable, EachIdHasOneText) {
  std::map<unsigned, int> count;
  for (std::size_t i = 0; i < g_ResStringCount; ++i) ++count[g_ResStrings[i].id];
  for (const auto& [id, n] : count) EXPECT_EQ(1, n) << "string " << id;
}

}  // namespace
