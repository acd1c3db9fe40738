#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/archive.h"

namespace {

std::vector<std::string> ReadAllLines(const std::string& text, int bufferSize) {
  auto* block = static_cast<uint8_t*>(std::malloc(text.size() + 1));
  std::memcpy(block, text.data(), text.size());
  CMemFile file(block, static_cast<uint32_t>(text.size()));
  CArchive ar(&file, CArchive::load, bufferSize);
  std::vector<std::string> lines;
  std::string line;
  while (ar.ReadString(line)) lines.push_back(line);
  file.Close();
  std::free(block);
  return lines;
}

TEST(ArchiveReadString, LineEndsAndEmptyLines) {
  struct Case {
    const char* text;
    std::vector<std::string> lines;
  } cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\n", {"a"}},
      {"a\r\nb\n", {"a", "b"}},
      {"\n\n", {"", ""}},
      {"a\n\nb", {"a", "", "b"}},
      {"\r\n", {""}},
      {"x\ry\n", {"x\ry"}},  // a lone CR inside a line is kept
      {"a\r", {"a\r"}},        // and so is one at the very end, with no LF after it
  };
  for (const Case& c : cases)
    for (int buf : {1, 2, 3, 4096}) EXPECT_EQ(ReadAllLines(c.text, buf), c.lines) << c.text << " buffer " << buf;
}

TEST(ArchiveReadString, LinesLongerThanTheBuffer) {
  std::string longLine(10000, 'S');
  auto lines = ReadAllLines(longLine + "\r\n" + longLine, PROG_ARCHIVE_BUFFER);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], longLine);
  EXPECT_EQ(lines[1], longLine);
}

TEST(ArchiveWriteString, WritesTextUnchangedAndFlushesOnClose) {
  CMemFile file(1024);
  {
    CArchive ar(&file, CArchive::store);
    ar.WriteString("S1");
    ar.WriteString(std::string(5000, 'x'));
    ar.WriteString("\n");
    ar.Close();
  }
  ASSERT_EQ(file.GetLength(), 5003u);
  const uint64_t n = file.GetLength();
  uint8_t* p = file.Detach();
  EXPECT_EQ(std::string(reinterpret_cast<char*>(p), 2), "S1");
  EXPECT_EQ(p[n - 1], '\n');
  std::free(p);
}
}  // namespace
