// The image model, byte access by address and byte substitution.
#include <gtest/gtest.h>

#include <vector>

#include "prog/prog_base.h"
#include "support/prog_text.h"
#include "support/records.h"

namespace {

bool SameRecords(const CProgRecordList& a, const CProgRecordList& b) {
  if (a.size() != b.size()) return false;
  for (auto i = a.begin(), j = b.begin(); i != a.end(); ++i, ++j)
    if (i->m_dwAddress != j->m_dwAddress || i->m_nLength != j->m_nLength || std::memcmp(i->m_data, j->m_data, 64) != 0)
      return false;
  return true;
}

TEST(Image, NewImageDefaults) {
  CProgParse image;
  EXPECT_TRUE(image.m_listRecords.empty());
  EXPECT_TRUE(image.m_listPages.empty());
  EXPECT_TRUE(image.m_listInitRAM.empty());
  EXPECT_TRUE(image.CursorIsNone());
  EXPECT_EQ(image.m_nFormat, PROG_FORMAT_SRECORD);
  EXPECT_EQ(image.m_bWriteCountRecord, 1);
  EXPECT_EQ(image.m_nFileType, 0);
  EXPECT_EQ(image.m_dwTableAddress, 0u);
  EXPECT_EQ(image.m_dwUpperAddress, 0u);
  for (int i = 0; i < kProgTableDirSize; ++i) {
    EXPECT_EQ(image.m_dirTables[i].dwAddress, 0u);
    EXPECT_EQ(image.m_dirTablesB[i].byCount, 0);
  }
}

TEST(Image, ResetClearsTheLoadAndKeepsTheRest) {
  CProgParse image;
  image.m_listRecords.push_back(Rec(0, {1}));
  CMultiProgRecord page;
  page.m_listRecords.push_back(Rec(8, {2}));
  image.m_listPages.push_back(page);
  image.AddInitRAMSection(1, 2, 3);
  ASSERT_TRUE(image.FindRecord(0));
  image.m_strProject = "P";
  image.m_nFileType = 1;
  image.m_bWriteCountRecord = 0;
  image.m_nFormat = PROG_FORMAT_INTEL_HEX;
  image.m_strEcuId = "E_1";
  image.m_arrMapLengths = {1, 2};
  image.m_dirTables[3].dwAddress = 0x55;
  image.m_dwUpperAddress = 0x10000;
  image.m_dwStartAddress = 9;
  image.m_nTermination = 7;

  image.Reset();
  EXPECT_TRUE(image.m_listRecords.empty());
  EXPECT_TRUE(image.m_listPages.empty());
  EXPECT_TRUE(image.m_listInitRAM.empty());
  EXPECT_TRUE(image.CursorIsNone());
  EXPECT_TRUE(image.m_strProject.empty());
  EXPECT_EQ(image.m_dwStartAddress, 0u);
  EXPECT_EQ(image.m_nTermination, 0);
  // Kept across a reset.
  EXPECT_EQ(image.m_nFileType, 1);
  EXPECT_EQ(image.m_bWriteCountRecord, 0);
  EXPECT_EQ(image.m_nFormat, PROG_FORMAT_INTEL_HEX);
  EXPECT_EQ(image.m_strEcuId, "E_1");
  EXPECT_EQ(image.m_arrMapLengths.size(), 2u);
  EXPECT_EQ(image.m_dirTables[3].dwAddress, 0x55u);
  EXPECT_EQ(image.m_dwUpperAddress, 0x10000u);
}

TEST(Image, CopyTakesRecordsAndSettingsButNoSectionsOrPages) {
  CProgParse source;
  CProgRecord r = Rec(0x100, {1, 2});
  r.m_data[63] = 0xEE;  // past the length: copied too
  source.m_listRecords.push_back(r);
  source.AddInitRAMSection(1, 2, 3);
  source.m_listPages.emplace_back();
  source.m_strProject = "P";
  source.m_dwModuleConfigAddress = 0x77;
  source.m_nFileType = 1;
  source.m_dwUpperAddress = 0x20000;
  ASSERT_TRUE(source.FindRecord(0x100));

  CProgParse copy(source);
  EXPECT_TRUE(SameRecords(copy.m_listRecords, source.m_listRecords));
  EXPECT_EQ(copy.m_listRecords.front().m_data[63], 0xEE);
  EXPECT_TRUE(copy.m_listInitRAM.empty());
  EXPECT_TRUE(copy.m_listPages.empty());
  EXPECT_TRUE(copy.CursorIsNone());
  EXPECT_EQ(copy.m_strProject, "P");
  EXPECT_EQ(copy.m_dwModuleConfigAddress, 0x77u);
  EXPECT_EQ(copy.m_nFileType, 0);
  EXPECT_EQ(copy.m_dwUpperAddress, 0x20000u);
}

TEST(Image, AssignmentAppendsAfterTheRecordsHeld) {
  CProgParse target;
  target.m_listRecords.push_back(Rec(1, {1}));
  target.m_listRecords.push_back(Rec(2, {2}));
  target.AddInitRAMSection(5, 6, 7);
  CProgParse source;
  source.m_listRecords.push_back(Rec(3, {3}));
  static_cast<CProgBase&>(target) = source;
  ASSERT_EQ(target.m_listRecords.size(), 3u);
  EXPECT_EQ(target.m_listRecords.back().m_dwAddress, 3u);
  EXPECT_EQ(target.m_listInitRAM.size(), 1u);
}

TEST(Image, SelfAssignmentAndSelfCopyCopyEachRecordOnce) {
  CProgParse image;
  image.m_listRecords.push_back(Rec(1, {1}));
  image.m_listRecords.push_back(Rec(2, {2}));
  image.CopyRecords(image);
  ASSERT_EQ(image.m_listRecords.size(), 4u);
  CProgBase& base = image;
  base = image;
  ASSERT_EQ(image.m_listRecords.size(), 8u);
  uint32_t expected[] = {1, 2, 1, 2, 1, 2, 1, 2};
  size_t i = 0;
  for (const CProgRecord& r : image.m_listRecords) EXPECT_EQ(r.m_dwAddress, expected[i++]);
}

TEST(Image, InitRamSectionsAreAddedUnchecked) {
  CProgParse image;
  EXPECT_TRUE(image.AddInitRAMSection(0x10, 0x20, 0));
  EXPECT_TRUE(image.AddInitRAMSection(0x10, 0x30, 0x10));
  EXPECT_EQ(image.m_listInitRAM.size(), 2u);
}

// ---------------------------------------------------------------- byte access

TEST(ByteAccess, ReadsAcrossAdjacentRecordsAndStopsAtAGap) {
  CProgParse image;
  image.m_listRecords.push_back(Rec(0x10, {1, 2}));
  image.m_listRecords.push_back(Rec(0x12, {3, 4}));
  image.m_listRecords.push_back(Rec(0x20, {5}));
  uint8_t buf[8] = {};
  EXPECT_TRUE(image.GetBytes(0x10, buf, 0));
  EXPECT_EQ(buf[0], 0);
  EXPECT_TRUE(image.GetBytes(0x10, buf, 4));
  EXPECT_EQ(std::vector<uint8_t>(buf, buf + 4), (std::vector<uint8_t>{1, 2, 3, 4}));
  std::fill(buf, buf + 8, 0);
  EXPECT_FALSE(image.GetBytes(0x12, buf, 3));
  EXPECT_EQ(buf[0], 3);
  EXPECT_EQ(buf[1], 4);
  EXPECT_TRUE(image.CursorIsNone());
}

TEST(ByteAccess, CursorPicksBetweenOverlappingRecords) {
  CProgParse image;
  image.m_listRecords.push_back(Rec(0x10, {0xA0, 0xA1, 0xA2, 0xA3}));
  image.m_listRecords.push_back(Rec(0x12, {0xB2, 0xB3, 0xB4}));
  uint8_t b = 0;
  ASSERT_TRUE(image.GetBytes(0x12, &b, 1));
  EXPECT_EQ(b, 0xA2);  // first in list order
  ASSERT_TRUE(image.GetBytes(0x14, &b, 1));
  EXPECT_EQ(b, 0xB4);  // cursor now on the later record
  ASSERT_TRUE(image.GetBytes(0x12, &b, 1));
  EXPECT_EQ(b, 0xB2);                    // and the shared address is found there again
  EXPECT_FALSE(image.FindRecord(0x40));  // a miss resets the cursor
  EXPECT_TRUE(image.CursorIsNone());
  ASSERT_TRUE(image.GetBytes(0x12, &b, 1));
  EXPECT_EQ(b, 0xA2);  // so the next lookup starts at the head
}

TEST(ByteAccess, RamAddressesAreServedFromTheirRomCopyOneStepOnly) {
  CProgParse image;
  image.m_listRecords.push_back(Rec(0x100, {0x11, 0x22, 0x33, 0x44}));
  image.m_listRecords.push_back(Rec(0x4002, {0x99}));
  image.AddInitRAMSection(0x4000, 0x100, 4);   // RAM 4000..4003 -> ROM 100..103
  image.AddInitRAMSection(0x8000, 0x4000, 4);  // ROM copy in RAM of the first: not followed
  image.AddInitRAMSection(0x9000, 0x900, 4);   // ROM copy in no record
  image.AddInitRAMSection(0x9000, 0x100, 4);   // a later section for the same range is not tried
  uint8_t b = 0;
  EXPECT_TRUE(image.GetBytes(0x4001, &b, 1));
  EXPECT_EQ(b, 0x22);
  EXPECT_TRUE(image.GetBytes(0x4002, &b, 1));
  EXPECT_EQ(b, 0x99);  // a record that holds the address wins over the section
  EXPECT_FALSE(image.GetBytes(0x8001, &b, 1));
  EXPECT_FALSE(image.GetBytes(0x9000, &b, 1));

  EXPECT_TRUE(image.PutByte(0x4003, 0x55));
  EXPECT_EQ(image.m_listRecords.front().m_data[3], 0x55);
  EXPECT_EQ(image.m_listRecords.front().m_bModified, 1);
  EXPECT_EQ(image.m_listRecords.back().m_bModified, 0);
}

TEST(ByteAccess, WritesOnlyBytesThatARecordHolds) {
  CProgParse image;
  image.m_listRecords.push_back(Rec(0x10, {1, 2}));
  const uint8_t src[] = {7, 8, 9};
  EXPECT_FALSE(image.PutByte(0x30, 1));
  EXPECT_EQ(image.m_listRecords.front().m_bModified, 0);
  EXPECT_FALSE(image.PutBytes(0x10, src, 3));
  EXPECT_EQ(image.m_listRecords.front().m_data[0], 7);
  EXPECT_EQ(image.m_listRecords.front().m_data[1], 8);
  EXPECT_EQ(image.m_listRecords.front().m_nLength, 2);
  EXPECT_TRUE(image.PutBytes(0x10, src, 2));
}

TEST(ByteAccess, AddressesDoNotWrapAtTheTop) {
  CProgParse image;
  image.m_listRecords.push_back(Rec(0xFFFFFFC0, std::vector<uint8_t>(64, 0xAB)));
  uint8_t b = 0;
  EXPECT_TRUE(image.GetBytes(0xFFFFFFFF, &b, 1));
  EXPECT_FALSE(image.FindRecord(0));
  EXPECT_FALSE(image.FindRecord(0x3F));
  uint8_t two[2];
  EXPECT_FALSE(image.GetBytes(0xFFFFFFFF, two, 2));  // would run past the top

  CProgParse ram;
  ram.m_listRecords.push_back(Rec(0x0, {1, 2}));
  ram.AddInitRAMSection(0xFFFFFFF0, 0x0, 0x20);  // its range ends at the top, not at 0x10
  EXPECT_FALSE(ram.GetBytes(0x5, &b, 1));
  EXPECT_TRUE(ram.GetBytes(0xFFFFFFF1, &b, 1));
  EXPECT_EQ(b, 2);
}

TEST(ByteAccess, Counts) {
  CProgParse image;
  image.m_listRecords.push_back(Rec(0, {1, 2, 3}));
  image.m_listRecords.push_back(Rec(8, {1}));
  CMultiProgRecord page;
  page.m_listRecords.push_back(Rec(0x100, {1, 2}));
  page.m_listRecords.push_back(Rec(0x102, {1, 2}));
  image.m_listPages.push_back(page);
  EXPECT_EQ(image.GetDataByteCount(), 4u);
  EXPECT_EQ(image.GetRecordListCount(), 2);
  EXPECT_EQ(image.GetPageRecordCount(), 2);
  EXPECT_EQ(image.GetRecordCount(), 4);
}

// ---------------------------------------------------------------- substitution

TEST(Substitution, DecodeTablesInvertEncodeTables) {
  bool seen[256] = {}, seenAlt[256] = {};
  for (int b = 0; b < 256; ++b) {
    EXPECT_EQ(g_DecodeTable[g_EncodeTable[b]], b);
    EXPECT_EQ(g_AltDecodeTable[g_AltEncodeTable[b]], b);
    seen[g_EncodeTable[b]] = seenAlt[g_AltEncodeTable[b]] = true;
  }
  for (int b = 0; b < 256; ++b) EXPECT_TRUE(seen[b] && seenAlt[b]) << b;
}

TEST(Substitution, OnlyFileTypeOneSubstitutesExceptAltEncode) {
  CProgParse image;
  for (int32_t type : {0, 2, -1, 256}) {
    image.m_nFileType = type;
    for (int b = 0; b < 256; ++b) {
      const auto v = static_cast<uint8_t>(b);
      ASSERT_EQ(image.EncodeByte(v), v);
      ASSERT_EQ(image.DecodeByte(v), v);
      ASSERT_EQ(image.AltDecodeByte(v), v);
      ASSERT_EQ(image.AltEncodeByte(v), g_AltEncodeTable[v]);
    }
    EXPECT_EQ(image.EncodeLong(0x12345678), 0x12345678u);
    EXPECT_EQ(image.AltEncodeWord(0x1234), (g_AltEncodeTable[0x12] << 8) | g_AltEncodeTable[0x34]);
  }
  image.m_nFileType = 1;
  EXPECT_EQ(image.EncodeWord(0x1234), (g_EncodeTable[0x12] << 8) | g_EncodeTable[0x34]);
  EXPECT_EQ(image.EncodeLong(0x00FF0102), uint32_t(g_EncodeTable[0]) << 24 | uint32_t(g_EncodeTable[0xFF]) << 16 |
                                              uint32_t(g_EncodeTable[1]) << 8 | g_EncodeTable[2]);
  for (uint32_t v : {0u, 1u, 0xDEADBEEFu, 0xFFFFFFFFu}) {
    EXPECT_EQ(image.DecodeLong(image.EncodeLong(v)), v);
    EXPECT_EQ(image.AltDecodeLong(image.AltEncodeLong(v)), v);
    EXPECT_EQ(image.DecodeWord(image.EncodeWord(static_cast<uint16_t>(v))), static_cast<uint16_t>(v));
  }
}

TEST(Substitution, FileTypeOneRoundTripsThroughTheWriter) {
  CProgParse image;
  image.m_nFileType = 1;
  image.m_nMachineWordSize = 4;
  image.m_bProtectedOutput = 1;
  image.m_dwStartAddress = 0x12345678;
  image.m_listRecords.push_back(Rec(0x1000, {0x00, 0x7F, 0xFF}));
  const std::string text = StoreText(image);
  EXPECT_NE(text.find("S30800001000"), std::string::npos);
  EXPECT_EQ(text.find("S30800001000007FFF"), std::string::npos);  // data bytes are substituted in the text...
  CProgParse back;
  ASSERT_EQ(LoadText(back, text), PROG_OK);  // ...and the header's FileType line decodes them
  EXPECT_EQ(back.m_listRecords.front().m_data[1], 0x7F);
  EXPECT_EQ(back.m_dwStartAddress, 0x12345678u);
}

}  // namespace
