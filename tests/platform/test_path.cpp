#include <gtest/gtest.h>

#include <string>

#include "platform/path.h"

namespace {

TEST(Path, SplitsAtTheLastSlash) {
  struct Case {
    std::string path, containing, folder, name;
  };
  const Case cases[] = {
      {"/a/b", "/a", "/a/", "b"},
      {"b", ".", "", "b"},
      {"/b", "/", "/", "b"},
      {"a/b/", "a/b", "a/b/", ""},
      {"", ".", "", ""},
      {"/", "/", "/", ""},
      {"a//b", "a/", "a//", "b"},
      // Names as the file system keeps them: UTF-8, and bytes of an 8-bit code page.
      {"/d\xC3\xA9j\xC3\xA0/\xE6\x97\xA5\xE6\x9C\xAC.sr", "/d\xC3\xA9j\xC3\xA0", "/d\xC3\xA9j\xC3\xA0/",
       "\xE6\x97\xA5\xE6\x9C\xAC.sr"},
      {"/caf\xE9/na\xEFve.srz", "/caf\xE9", "/caf\xE9/", "na\xEFve.srz"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(c.containing, tessary::ContainingFolder(c.path));
    EXPECT_EQ(c.folder, tessary::FolderPart(c.path));
    EXPECT_EQ(c.name, tessary::NamePart(c.path));
    EXPECT_EQ(c.path, tessary::FolderPart(c.path) + tessary::NamePart(c.path));
  }
}

}  // namespace
