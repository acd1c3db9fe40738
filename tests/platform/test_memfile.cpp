#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/exceptions.h"
#include "platform/file.h"

namespace {

TEST(MemFile, GrowsAndDetachesAMallocBlock) {
  CMemFile f(1024);
  std::string chunk(3000, 'a');
  for (int i = 0; i < 10; ++i) f.Write(chunk.data(), static_cast<uint32_t>(chunk.size()));
  EXPECT_EQ(f.GetLength(), 30000u);
  f.SeekToBegin();
  char buf[10];
  EXPECT_EQ(f.Read(buf, 10), 10u);
  uint8_t* block = f.Detach();
  EXPECT_EQ(f.GetLength(), 0u);
  EXPECT_EQ(block[29999], 'a');
  std::free(block);  // the block is the caller's now
}

TEST(MemFile, FixedBlockNeverGrows) {
  uint8_t block[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  CMemFile f(block, sizeof block);
  EXPECT_EQ(f.GetLength(), 8u);
  uint8_t out[16] = {};
  EXPECT_EQ(f.Read(out, 16), 8u);
  EXPECT_EQ(f.Read(out, 16), 0u);
  f.SeekToBegin();
  f.Write("xy", 2);
  EXPECT_EQ(block[0], 'x');
  f.Seek(0, CFile::end);
  EXPECT_THROW(f.Write("z", 1), CMemoryException);
  f.Detach();  // not ours to free
}

TEST(MemFile, SetLengthZeroFillsAndCuts) {
  CMemFile f;
  f.Write("abc", 3);
  f.SetLength(6);
  EXPECT_EQ(f.GetLength(), 6u);
  EXPECT_EQ(f.GetBufferPtr()[4], 0);
  f.SetLength(1);
  EXPECT_EQ(f.GetLength(), 1u);
  EXPECT_EQ(f.GetPosition(), 1u);
}

TEST(File, OpenMissingFileReportsCause) {
  CFile f;
  CFileException e;
  EXPECT_FALSE(f.Open("/nonexistent/dir/file.sr", CFile::modeRead, &e));
  EXPECT_EQ(e.m_cause, CFileException::fileNotFound);
  EXPECT_NE(e.GetErrorMessage().find("/nonexistent/dir/file.sr"), std::string::npos);
}

}  // namespace

namespace {

std::string TempPath(const char* name) { return std::string(::testing::TempDir()) + name; }

TEST(File, SmallWritesAndReadsMixWithSeeksAndLength) {
  const std::string path = TempPath("tessary-file-test.bin");
  {
    CFile f(path, CFile::modeCreate | CFile::modeReadWrite);
    std::string chunk(1000, 'a');
    for (int i = 0; i < 100; ++i) f.Write(chunk.data(), 1000);  // beyond one buffer
    EXPECT_EQ(f.GetLength(), 100000u);                          // pending output counts
    EXPECT_EQ(f.GetPosition(), 100000u);
    f.SeekToBegin();
    char buf[10];
    ASSERT_EQ(f.Read(buf, 10), 10u);
    EXPECT_EQ(f.GetPosition(), 10u);  // not where the read-ahead left the descriptor
    f.Write("XY", 2);                 // lands at 10, after the bytes read
    f.Seek(9, CFile::begin);
    ASSERT_EQ(f.Read(buf, 4), 4u);
    EXPECT_EQ(std::string(buf, 4), "aXYa");
    f.Seek(0, CFile::end);
    f.Write("Z", 1);
    f.Close();
  }
  CFile f(path, CFile::modeRead);
  EXPECT_EQ(f.GetLength(), 100001u);
  std::vector<char> all(200000);
  EXPECT_EQ(f.Read(all.data(), 200000), 100001u);  // a large read goes straight through
  EXPECT_EQ(all[100000], 'Z');
  EXPECT_EQ(f.Read(all.data(), 1), 0u);
  f.Close();
  std::remove(path.c_str());
}

TEST(File, DestructorWritesPendingOutput) {
  const std::string path = TempPath("tessary-file-test2.bin");
  { CFile(path, CFile::modeCreate | CFile::modeWrite).Write("abc", 3); }
  CFile f(path, CFile::modeRead);
  EXPECT_EQ(f.GetLength(), 3u);
  f.Close();
  std::remove(path.c_str());
}

TEST(File, WriteFailureIsAnException) {
  CFile f("/dev/full", CFile::modeWrite);
  std::string big(200000, 'x');
  EXPECT_THROW(f.Write(big.data(), static_cast<uint32_t>(big.size())), CFileException);
  f.Write("x", 1);  // buffered: the failure shows at Close
  EXPECT_THROW(f.Close(), CFileException);
}

}  // namespace
