#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

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

// LF, CR LF and a lone CR each end a line.
const struct LineCase {
  const char* text;
  std::vector<std::string> lines;
} kLineCases[] = {
    {"", {}},
    {"a", {"a"}},
    {"a\n", {"a"}},
    {"a\r\nb\n", {"a", "b"}},
    {"\n\n", {"", ""}},
    {"a\n\nb", {"a", "", "b"}},
    {"\r\n", {""}},
    {"x\ry\n", {"x", "y"}},
    {"a\r", {"a"}},
    {"\r", {""}},
    {"S1\rS2\r\rS3", {"S1", "S2", "", "S3"}},
    {"a\r\r\nb", {"a", "", "b"}},
    {"a\n\rb\r\n", {"a", "", "b"}},
};

TEST(ArchiveReadString, LineEndsAndEmptyLines) {
  for (const LineCase& c : kLineCases)
    for (int buf : {1, 2, 3, 4096}) EXPECT_EQ(ReadAllLines(c.text, buf), c.lines) << c.text << " buffer " << buf;
}

TEST(StdioFileReadString, LineEndsAndEmptyLines) {
  char path[] = "/tmp/tessary-lines-XXXXXX";
  const int fd = ::mkstemp(path);
  ASSERT_GE(fd, 0);
  ::close(fd);
  for (const LineCase& c : kLineCases) {
    std::FILE* f = std::fopen(path, "wb");
    ASSERT_NE(f, nullptr);
    std::fputs(c.text, f);
    std::fclose(f);
    CStdioFile file;
    ASSERT_TRUE(file.Open(path, CFile::modeRead));
    std::vector<std::string> lines;
    std::string line;
    while (file.ReadString(line)) lines.push_back(line);
    file.Close();
    EXPECT_EQ(lines, c.lines) << c.text;
  }
  ::unlink(path);
}

TEST(ArchiveReadString, LinesLongerThanTheBuffer) {
  std::string longLine(10000, 'S');
  auto lines = ReadAllLines(longLine + "\r\n" + longLine, CArchive::kDefaultBufferSize);
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
