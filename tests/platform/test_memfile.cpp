#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

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
