// The S-record / Intel HEX reader and the S-record writer.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/exceptions.h"
#include "prog/prog_base.h"
#include "support/prog_text.h"
#include "support/records.h"

namespace {

struct LineCase {
  const char* name;
  std::string text;  // whole input
  int result;
  uint32_t lineNumber;
  size_t records;
};

void PrintTo(const LineCase& c, std::ostream* os) { *os << c.name; }

class ReaderLines : public ::testing::TestWithParam<LineCase> {};

TEST_P(ReaderLines, ResultLineNumberAndRecords) {
  const LineCase& c = GetParam();
  CProgParse image;
  EXPECT_EQ(LoadText(image, c.text), c.result);
  EXPECT_EQ(image.m_nLineNumber, c.lineNumber);
  EXPECT_EQ(image.m_listRecords.size(), c.records);
}

const std::string kS1 = "S10500001234B4\n";  // count 05, address 0000, data 12 34
const std::string kS3 = SLine('3', "0000100001020304") + "\n";

INSTANTIATE_TEST_SUITE_P(
    Parse, ReaderLines,
    ::testing::Values(
        LineCase{"S1Valid", kS1, PROG_OK, 1, 1}, LineCase{"S1Checksum", "S10500001234B5\n", PROG_E_CHECKSUM, 1, 0},
        LineCase{"S1LowerCaseHex", "S10500001234b4\n", PROG_OK, 1, 1},
        LineCase{"S1HeadUnreadable", "S1ZZ0000\n", PROG_E_S1_RECORD, 1, 0},
        LineCase{"S1ByteUnreadable", "S105000012G4B4\n", PROG_E_S1_RECORD, 1, 0},
        LineCase{"S1PairWithLeadingBlank", "S1050000 534C1\n", PROG_OK, 1, 1},
        LineCase{"S1ChecksumMissing", "S10500001234\n", PROG_E_S1_RECORD, 1, 0},
        LineCase{"S1Length65", SLine('1', "0000" + std::string(130, 'A')) + "\n", PROG_E_DATA_LENGTH, 1, 0},
        LineCase{"S1Count00", "S1000000FF\n", PROG_E_DATA_LENGTH, 1, 0},
        LineCase{"S1Count02", "S1020000FD\n", PROG_E_DATA_LENGTH, 1, 0},
        LineCase{"S1Count03IsEmptyRecord", "S1030000FC\n", PROG_OK, 1, 1},
        LineCase{"S2Valid", SLine('2', "01000012") + "\n", PROG_OK, 1, 1},
        LineCase{"S2HeadUnreadable", "S2\n", PROG_E_S2_S3_RECORD, 1, 0},
        LineCase{"S2ByteUnreadable", "S206010000QQ00\n", PROG_E_S1_RECORD, 1, 0},
        LineCase{"S2Length65", SLine('2', "000000" + std::string(130, '0')) + "\n", PROG_E_DATA_LENGTH, 1, 0},
        LineCase{"S3Valid", kS3, PROG_OK, 1, 1}, LineCase{"S3HeadUnreadable", "S3-1\n", PROG_E_S2_S3_RECORD, 1, 0},
        LineCase{"S3ByteUnreadable", "S3070000100001??00\n", PROG_E_S2_S3_RECORD, 1, 0},
        LineCase{"S3Count46", SLine('3', "00000000" + std::string(130, '1')) + "\n", PROG_E_S3_DATA_LENGTH, 1, 0},
        LineCase{"S3Length64", SLine('3', "00000000" + std::string(128, '1')) + "\n", PROG_OK, 1, 1},
        LineCase{"S0IgnoredUnchecked", "S0 anything at all\n" + kS1, PROG_OK, 2, 1},
        LineCase{"S4IsNotAccepted", kS1 + "S4030000FC\n", PROG_E_RECORD_TYPE, 2, 1},
        LineCase{"S6IsNotAccepted", "S6\n", PROG_E_RECORD_TYPE, 1, 0},
        LineCase{"S8IsNotAccepted", "S8\n", PROG_E_RECORD_TYPE, 1, 0},
        LineCase{"SAloneIsNotAccepted", "S\n", PROG_E_RECORD_TYPE, 1, 0},
        LineCase{"SLetterIsARecordLine", "Some comment\n", PROG_E_RECORD_TYPE, 1, 0},
        LineCase{"IndentedRecordIsComment", " S10500001234B5\n" + kS1, PROG_OK, 2, 1},
        LineCase{"LowerCaseSIsComment", "s10500001234B5\n" + kS1, PROG_OK, 2, 1},
        LineCase{"S5SixteenBitMatches", kS1 + kS1 + kS1 + "S5030003F9\n", PROG_OK, 4, 3},
        LineCase{"S5SixteenBitMismatch", kS1 + kS1 + "S5030003F9\n", PROG_E_RECORD_COUNT, 3, 2},
        LineCase{"S5FourByteForm", kS1 + kS1 + SLine('5', "00000002") + "\n", PROG_OK, 3, 2},
        LineCase{"S5Checksum", kS1 + "S5030001F9\n", PROG_E_CHECKSUM, 2, 1},
        LineCase{"S5Unreadable", kS1 + "S5xx\n", PROG_E_S5_RECORD, 2, 1},
        LineCase{"S5LinesAfterAreRead", "S5030000FC\n" + kS1, PROG_OK, 2, 1},
        LineCase{"S7Valid", kS1 + SLine('7', "00001000") + "\n", PROG_OK, 2, 1},
        LineCase{"S7WrongCount", kS1 + "S7040000100000\n", PROG_E_S7_RECORD, 2, 1},
        LineCase{"S7Checksum", kS1 + "S70500001000EB\n", PROG_E_CHECKSUM, 2, 1},
        LineCase{"S9Valid", kS1 + "S9030000FC\n", PROG_OK, 2, 1},
        LineCase{"S9WrongCount", kS1 + "S9050000FC\n", PROG_E_S9_RECORD, 2, 1},
        LineCase{"S9Checksum", kS1 + "S9030000FD\n", PROG_E_CHECKSUM, 2, 1},
        LineCase{"RecordsAfterTermination", "S9030000FC\n" + kS1, PROG_OK, 2, 1},
        LineCase{"HexData", ":0400100001020304E2\n", PROG_OK, 1, 1},
        LineCase{"HexDataChecksum", ":0400100001020304E3\n", PROG_E_CHECKSUM, 1, 0},
        LineCase{"HexDataUnreadable", ":04001000010203ZZE2\n", PROG_E_HEX_DATA_RECORD, 1, 0},
        LineCase{"HexDataHeadUnreadable", ":zz001000\n", PROG_E_HEX_DATA_RECORD, 1, 0},
        LineCase{"HexDataLength65", HexLine("000000" + std::string(130, '0')) + "\n", PROG_E_DATA_LENGTH, 1, 0},
        LineCase{"HexType10IsData", HexLine("00101011") + "\n", PROG_OK, 1, 1},
        LineCase{"HexEndStandard", ":0400100001020304E2\n:00000001FF\n", PROG_OK, 2, 1},
        LineCase{"HexEndChecksum", ":00000001FE\n", PROG_E_CHECKSUM, 1, 0},
        LineCase{"HexEndHeadMismatch", ":01000001FE\n", PROG_E_S1_RECORD, 1, 0},
        LineCase{"HexEndByteUnreadable", ":00000001\n", PROG_E_HEX_RECORD_BYTE, 1, 0},
        LineCase{"HexExtAddress", ":020000040001F9\n:0400100001020304E2\n", PROG_OK, 2, 1},
        LineCase{"HexExtChecksum", ":020000040001F8\n", PROG_E_CHECKSUM, 1, 0},
        LineCase{"HexExtHeadMismatch", ":020001040001F8\n", PROG_E_S1_RECORD, 1, 0},
        LineCase{"HexExtByteUnreadable", ":020000040001\n", PROG_E_HEX_RECORD_BYTE, 1, 0},
        LineCase{"HexType02", HexLine("0000021000") + "\n", PROG_E_RECORD_TYPE, 1, 0},
        LineCase{"HexType03", HexLine("000003") + "\n", PROG_E_RECORD_TYPE, 1, 0},
        LineCase{"HexType05", HexLine("00000500000000") + "\n", PROG_E_RECORD_TYPE, 1, 0},
        LineCase{"HexEightCharacters", ":0000000\n", PROG_E_RECORD_TYPE, 1, 0},
        LineCase{"NoData", "// Project=X\nS0030000FC\nS9030000FC\n\n", PROG_E_NO_DATA, 4, 0},
        LineCase{"Empty", "", PROG_E_NO_DATA, 0, 0},
        LineCase{"FailureMidFile", kS1 + "\n// c\n" + kS1 + "S1050000123400\n" + kS1, PROG_E_CHECKSUM, 5, 2},
        LineCase{"CrLfLineEnds", "S10500001234B4\r\nS9030000FC\r\n", PROG_OK, 2, 1},
        LineCase{"CrLineEnds", "// c\rS10500001234B4\rS10500001234B4\rS9030000FC\r", PROG_OK, 4, 2},
        LineCase{"CrLineEndsFailureLine", "// c\r\rS10500001234B4\rS1050000123400\rS9030000FC\r", PROG_E_CHECKSUM, 4,
                 1},
        LineCase{"MixedLineEnds", "S10500001234B4\rS10500001234B4\r\nS10500001234B4\n// c", PROG_OK, 4, 3}),
    [](const auto& tc) { return tc.param.name; });

TEST(Reader, RecordFields) {
  CProgParse image;
  ASSERT_EQ(LoadText(image, kS1 + SLine('2', "12345699") + "\n" + kS3 + ":0400100001020304E2\n"), PROG_OK);
  ASSERT_EQ(image.m_listRecords.size(), 4u);
  auto it = image.m_listRecords.begin();
  EXPECT_EQ(it->m_nRecordType, 1);
  EXPECT_EQ(it->m_dwAddress, 0u);
  EXPECT_EQ(it->m_nLength, 2);
  EXPECT_EQ(it->m_data[0], 0x12);
  EXPECT_EQ(it->m_data[1], 0x34);
  EXPECT_EQ(it->m_data[2], 0);
  ++it;
  EXPECT_EQ(it->m_nRecordType, 2);
  EXPECT_EQ(it->m_dwAddress, 0x123456u);
  EXPECT_EQ(it->m_nLength, 1);
  EXPECT_EQ(it->m_data[0], 0x99);
  ++it;
  EXPECT_EQ(it->m_nRecordType, 3);
  EXPECT_EQ(it->m_dwAddress, 0x00001000u);
  EXPECT_EQ(it->m_nLength, 4);
  ++it;
  EXPECT_EQ(it->m_nRecordType, 3);
  EXPECT_EQ(it->m_dwAddress, 0x10u);
  EXPECT_EQ(it->m_data[3], 0x04);
}

TEST(Reader, ParsersCheckTheirOwnHead) {
  CProgParse image;
  CProgRecord r;
  EXPECT_EQ(image.ParseS1Record("S20500001234B4", r), PROG_E_S1_RECORD);
  EXPECT_EQ(image.ParseS2Record(kS1.substr(0, kS1.size() - 1), r), PROG_E_S2_S3_RECORD);
  EXPECT_EQ(image.ParseS3Record(kS1.substr(0, kS1.size() - 1), r), PROG_E_S2_S3_RECORD);
  EXPECT_EQ(image.ParseS1Record(kS1.substr(0, kS1.size() - 1), r), PROG_OK);
}

TEST(Reader, PairCutByTheLineEndIsReadFromItsOneDigit) {
  // Address 0000, data F4: the checksum is 0x07, here written as the single digit "7".
  CProgParse image;
  EXPECT_EQ(LoadText(image, "S1040000F47\n"), PROG_OK);
  EXPECT_EQ(image.m_listRecords.front().m_data[0], 0xF4);
}

TEST(Reader, ShortColonLineThrowsAndReadsNothingPastIt) {
  for (const char* text : {":\n", ":0\n", ":000000\n"}) {
    CProgParse image;
    EXPECT_THROW(LoadText(image, text), CInvalidArgException) << text;
    EXPECT_EQ(image.m_nLineNumber, 1u);
  }
}

TEST(Reader, FileTypeOneDecodesTheStartAddressOfS7AndIntelHexEnd) {
  const uint32_t plain = 0x00001234;
  CProgParse image;
  image.m_nFileType = 1;
  const uint32_t encoded = image.EncodeLong(plain);
  char s7[16];
  std::snprintf(s7, sizeof s7, "%08X", encoded);
  ASSERT_EQ(LoadText(image, "// FileType=1\n" + kS1 + SLine('7', s7) + "\n"), PROG_OK);
  EXPECT_EQ(image.m_dwStartAddress, plain);
  // The end record's 16-bit address is taken as a 32-bit value: all four bytes are mapped.
  ASSERT_EQ(LoadText(image, kS1 + ":00123401B9\n"), PROG_OK);
  EXPECT_EQ(image.m_dwStartAddress, image.DecodeLong(0x1234));
}

TEST(Reader, TerminationRecordsSetStartAddress) {
  struct Case {
    std::string tail;
    uint32_t start;
    int termination;
  } cases[] = {
      {SLine('7', "00001000"), 0x1000, 7},
      {"S9031234B6", 0x1234, 9},
      {":00000001FF", 0, 7},
      {":00ABCD0187", 0xABCD, 7},
      {SLine('7', "00001000") + "\nS9031234B6", 0x1234, 9},  // a later one overrides
  };
  for (const Case& c : cases) {
    CProgParse image;
    ASSERT_EQ(LoadText(image, kS1 + c.tail + "\n"), PROG_OK) << c.tail;
    EXPECT_EQ(image.m_dwStartAddress, c.start) << c.tail;
    EXPECT_EQ(image.m_nTermination, c.termination) << c.tail;
  }
}

TEST(Reader, TerminationChecksumLeavesStartAsItWas) {
  CProgParse image;
  EXPECT_EQ(LoadText(image, kS1 + "S9031234B6\nS7050000100000\n"), PROG_E_CHECKSUM);
  EXPECT_EQ(image.m_dwStartAddress, 0x1234u);
  EXPECT_EQ(image.m_nTermination, 9);
}

TEST(Reader, HexUpperAddressAppliesToLaterRecordsAndCarriesOver) {
  CProgParse image;
  ASSERT_EQ(LoadText(image, ":0400100001020304E2\n:020000040001F9\n:0400100001020304E2\n"), PROG_OK);
  EXPECT_EQ(image.m_listRecords.front().m_dwAddress, 0x10u);
  EXPECT_EQ(image.m_listRecords.back().m_dwAddress, 0x10010u);
  EXPECT_EQ(image.m_dwUpperAddress, 0x10000u);
  // A second load into the same object keeps the upper address until its own 04 record.
  ASSERT_EQ(LoadText(image, ":0400100001020304E2\n"), PROG_OK);
  EXPECT_EQ(image.m_listRecords.front().m_dwAddress, 0x10010u);
  // And the writer gives the full address as an S3 line.
  EXPECT_EQ(StoreText(image), SLine('3', "0001001001020304") + "\n");
}

struct HeaderCase {
  std::string line;
  std::function<bool(const CProgParse&)> check;
};

TEST(Reader, HeaderKeys) {
  const HeaderCase cases[] = {
      {"// Project=MPC55xx trailing", [](auto& p) { return p.m_strProject == "MPC55xx"; }},
      {"//Project=NoBlank", [](auto& p) { return p.m_strProject == "NoBlank"; }},
      {"// Project=", [](auto& p) { return p.m_strProject.empty(); }},
      // A zero byte ends the word, as it ends a text that scanf reads.
      {std::string("// Project=MPC55xx\0\0tail", 24), [](auto& p) { return p.m_strProject == "MPC55xx"; }},
      {std::string("// Project=\0MPC55xx", 19), [](auto& p) { return p.m_strProject.empty(); }},
      {"// Endian=257", [](auto& p) { return p.m_nEndian == 1; }},
      {"// TableAddress[2]=0x8000", [](auto& p) { return p.m_nTableLayout == 2 && p.m_dwTableAddress == 0x8000; }},
      {"// TableAddress=0xABCDEF12", [](auto& p) { return p.m_nTableLayout == 0 && p.m_dwTableAddress == 0xABCDEF12; }},
      {"// TableAddress=0X8000", [](auto& p) { return p.m_dwTableAddress == 0; }},
      {"// MachineWordSize=4", [](auto& p) { return p.m_nMachineWordSize == 4; }},
      {"// BankedMemoryModel=1", [](auto& p) { return p.m_bBankedMemoryModel == 1; }},
      {"// SoftwareVersionID=65537", [](auto& p) { return p.m_wSoftwareVersionID == 1; }},
      {"// CRCBlockPointer=0x1234", [](auto& p) { return p.m_dwCRCBlockPointer == 0x1234; }},
      {"// ModuleConfigAddress=0xfffe", [](auto& p) { return p.m_dwModuleConfigAddress == 0xFFFE; }},
      {"// FileType=2", [](auto& p) { return p.m_nFileType == 2; }},
      {"// InitRAMSection=RAM[0x4000],ROM[0x100],Length[0x20]",
       [](auto& p) {
         return p.m_listInitRAM.size() == 1 && p.m_listInitRAM.front().m_dwRAMAddress == 0x4000 &&
                p.m_listInitRAM.front().m_dwROMAddress == 0x100 && p.m_listInitRAM.front().m_dwLength == 0x20;
       }},
      {"// InitRAMSection=RAM[0x4000],ROM[0x100]", [](auto& p) { return p.m_listInitRAM.empty(); }},
      // The first key of the order decides, and its pattern must match from the line's start.
      {"// MachineWordSize=4 Project", [](auto& p) { return p.m_nMachineWordSize == 0 && p.m_strProject.empty(); }},
      {"// Endian=1 FileType=1", [](auto& p) { return p.m_nEndian == 1 && p.m_nFileType == 0; }},
      {"  // Endian=1", [](auto& p) { return p.m_nEndian == 0; }},
  };
  for (const HeaderCase& c : cases) {
    CProgParse image;
    ASSERT_EQ(LoadText(image, c.line + "\n" + kS1), PROG_OK) << c.line;
    EXPECT_TRUE(c.check(image)) << c.line;
  }
}

TEST(Reader, LastLineWinsAndInitRamLinesAddUp) {
  CProgParse image;
  ASSERT_EQ(LoadText(image,
                     "// Endian=1\n// Endian=0\n// InitRAMSection=RAM[0x1],ROM[0x2],Length[0x3]\n"
                     "// InitRAMSection=RAM[0x4],ROM[0x5],Length[0x6]\n" +
                         kS1),
            PROG_OK);
  EXPECT_EQ(image.m_nEndian, 0);
  ASSERT_EQ(image.m_listInitRAM.size(), 2u);
  EXPECT_EQ(image.m_listInitRAM.back().m_dwLength, 6u);
}

std::string Hex2(uint8_t b) {
  static const char* d = "0123456789ABCDEF";
  return {d[b >> 4], d[b & 15]};
}

TEST(Reader, FileTypeOneDecodesFromItsLineOn) {
  // The same S1 line before and after the FileType line; only the later one is decoded, and its
  // checksum is over the bytes as they stand in the text.
  CProgParse image;
  const std::string s5 = SLine('5', Hex2(g_EncodeTable[0]) + Hex2(g_EncodeTable[2]));
  const std::string s9 = SLine('9', Hex2(g_EncodeTable[0x12]) + Hex2(g_EncodeTable[0x34]));
  ASSERT_EQ(LoadText(image, kS1 + "// FileType=1\n" + kS1 + s5 + "\n" + s9 + "\n"), PROG_OK);
  EXPECT_EQ(image.m_listRecords.front().m_data[0], 0x12);
  EXPECT_EQ(image.m_listRecords.back().m_data[0], g_DecodeTable[0x12]);
  EXPECT_EQ(image.m_listRecords.back().m_dwAddress, 0u);  // addresses are never substituted
  EXPECT_EQ(image.m_dwStartAddress, 0x1234u);
  // FileType survives the next load's reset: its records decode before any FileType line.
  ASSERT_EQ(LoadText(image, kS1), PROG_OK);
  EXPECT_EQ(image.m_listRecords.front().m_data[0], g_DecodeTable[0x12]);
}

// ---------------------------------------------------------------- writer

TEST(Writer, RecordLinesCountAndTermination) {
  struct Case {
    const char* name;
    uint8_t wordSize;
    uint8_t termination;
    std::string tail;
  } cases[] = {
      {"NoWordSizeNoTermination", 0, 0, ""},
      {"WordSize2", 2, 0, "S5030003F9\nS9031234B6\n"},
      {"WordSize3AfterS7", 3, 7, "S5030003F9\nS9031234B6\n"},
      {"Termination9", 0, 9, "S5030003F9\nS9031234B6\n"},
      {"WordSize4", 4, 0, SLine('5', "00000003") + "\n" + SLine('7', "00001234") + "\n"},
      {"Termination7", 0, 7, SLine('5', "00000003") + "\n" + SLine('7', "00001234") + "\n"},
      {"WordSize4AfterS9", 4, 9, "S5030003F9\nS9031234B6\n"},
  };
  for (const Case& c : cases) {
    CProgParse image;
    image.m_listRecords.push_back(Rec(0x12345, {0x12, 0x34}, 1));  // address cut to 16 bits
    image.m_listRecords.push_back(Rec(0xFFFFFFC0, {0xAB}, 3));
    image.m_listRecords.push_back(Rec(0, {1}, 0));  // unknown kind: skipped, but counted
    image.m_nMachineWordSize = c.wordSize;
    image.m_nTermination = c.termination;
    image.m_dwStartAddress = 0x1234;
    image.m_bProtectedOutput = 0;
    EXPECT_EQ(StoreText(image), SLine('1', "23451234") + "\n" + SLine('3', "FFFFFFC0AB") + "\n" + c.tail) << c.name;
  }
}

TEST(Writer, CountRecordCanBeSwitchedOff) {
  CProgParse image;
  image.m_listRecords.push_back(Rec(0, {0x12, 0x34}, 1));
  image.m_nMachineWordSize = 2;
  image.m_bWriteCountRecord = 0;
  EXPECT_EQ(StoreText(image), kS1 + "S9030000FC\n");
}

TEST(Writer, HeaderBlockOnlyForProtectedOutputWithAWordSize) {
  CProgParse image;
  image.m_listRecords.push_back(Rec(0, {0x12, 0x34}, 1));
  image.m_strProject = "MPC55xx";
  image.m_nEndian = 1;
  image.m_nMachineWordSize = 4;
  image.m_nTableLayout = 0;
  image.m_dwTableAddress = 0xA0;
  image.m_dwCRCBlockPointer = 0xB0;
  image.AddInitRAMSection(0x4000, 0x100, 0x20);
  image.m_bProtectedOutput = 1;
  const std::string rule(57, '/');
  const std::string expected = rule +
                               "\n// Project=MPC55xx\n// Endian=1\n// MachineWordSize=4\n// BankedMemoryModel=0\n"
                               "// TableAddress[0]=0xA0\n// CRCBlockPointer=0xB0\n// FileType=0\n"
                               "// InitRAMSection=RAM[0x4000],ROM[0x100],Length[0x20]\n" +
                               rule + "\n" + kS1 + SLine('5', "00000001") + "\n" + SLine('7', "00000000") + "\n";
  EXPECT_EQ(StoreText(image), expected);
  image.m_wSoftwareVersionID = 7;
  image.m_dwModuleConfigAddress = 0xC0;
  const std::string text = StoreText(image);
  EXPECT_NE(text.find("// CRCBlockPointer=0xB0\n// ModuleConfigAddress=0xC0\n// FileType=0\n// SoftwareVersionID=7\n"),
            std::string::npos);
  image.m_bProtectedOutput = 0;
  EXPECT_EQ(StoreText(image).find("//"), std::string::npos);
  image.m_bProtectedOutput = 1;
  image.m_nMachineWordSize = 0;
  EXPECT_EQ(StoreText(image).find("//"), std::string::npos);
}

TEST(Writer, MoreThan65535RecordsWithAShortCountStillReadBack) {
  CProgParse image;
  for (uint32_t i = 0; i < 70000; ++i) image.m_listRecords.push_back(Rec(i * 4, {1, 2, 3, 4}, 3));
  image.m_nMachineWordSize = 2;
  const std::string text = StoreText(image);
  EXPECT_NE(text.find("\n" + SLine('5', "00011170") + "\nS903"), std::string::npos);
  CProgParse back;
  EXPECT_EQ(LoadText(back, text), PROG_OK);
  EXPECT_EQ(back.m_listRecords.size(), 70000u);
}

// ---------------------------------------------------------------- round trip

TEST(RoundTrip, RandomImagesReadBackAsWritten) {
  std::mt19937 rng(12345);
  auto pick = [&](uint32_t lo, uint32_t hi) { return std::uniform_int_distribution<uint32_t>(lo, hi)(rng); };
  for (int round = 0; round < 200; ++round) {
    CProgParse image;
    const uint8_t wordSizes[] = {0, 2, 3, 4};
    image.m_nMachineWordSize = wordSizes[pick(0, 3)];
    image.m_nFileType = static_cast<int32_t>(pick(0, 1));
    image.m_bProtectedOutput = static_cast<uint8_t>(pick(0, 1));
    image.m_strProject = round % 3 ? "Proj" + std::to_string(round) : "";
    image.m_nEndian = static_cast<uint8_t>(pick(0, 255));
    image.m_nTableLayout = pick(0, 2);
    image.m_dwTableAddress = pick(0, UINT32_MAX);
    image.m_bBankedMemoryModel = static_cast<uint8_t>(pick(0, 1));
    image.m_wSoftwareVersionID = static_cast<uint16_t>(pick(0, 3));
    image.m_dwCRCBlockPointer = pick(0, UINT32_MAX);
    image.m_dwModuleConfigAddress = pick(0, 1) ? pick(0, UINT32_MAX) : 0;
    for (uint32_t s = pick(0, 3); s > 0; --s)
      image.AddInitRAMSection(pick(0, UINT32_MAX), pick(0, UINT32_MAX), pick(0, 0xFFFF));
    image.m_nTermination = static_cast<uint8_t>(image.m_nMachineWordSize == 0 ? pick(0, 1) * 7 : 0);
    image.m_dwStartAddress =
        image.m_nMachineWordSize == 2 || image.m_nMachineWordSize == 3 ? pick(0, 0xFFFF) : pick(0, UINT32_MAX);
    for (uint32_t n = pick(1, 40); n > 0; --n) {
      const uint8_t type = static_cast<uint8_t>(pick(1, 3));
      const uint32_t maxAddress = type == 1 ? 0xFFFF : type == 2 ? 0xFFFFFF : UINT32_MAX;
      std::vector<uint8_t> data(pick(0, 64));
      for (auto& b : data) b = static_cast<uint8_t>(pick(0, 255));
      image.m_listRecords.push_back(Rec(pick(0, maxAddress), data, type));
    }

    CProgParse back;
    // Without the header block the reader needs to be told the file type; with it, the file says.
    const bool header = image.m_nMachineWordSize != 0 && image.m_bProtectedOutput;
    if (!header) back.m_nFileType = image.m_nFileType;
    ASSERT_EQ(LoadText(back, StoreText(image)), PROG_OK) << "round " << round;

    ASSERT_EQ(back.m_listRecords.size(), image.m_listRecords.size());
    for (auto a = image.m_listRecords.begin(), b = back.m_listRecords.begin(); a != image.m_listRecords.end();
         ++a, ++b) {
      ASSERT_EQ(a->m_dwAddress, b->m_dwAddress);
      ASSERT_EQ(a->m_nLength, b->m_nLength);
      ASSERT_EQ(a->m_nRecordType, b->m_nRecordType);
      ASSERT_EQ(0, std::memcmp(a->m_data, b->m_data, a->m_nLength));
    }
    // No termination record is written without a word size or a termination kind.
    const bool terminated = image.m_nMachineWordSize != 0 || image.m_nTermination != 0;
    EXPECT_EQ(back.m_dwStartAddress, terminated ? image.m_dwStartAddress : 0u);
    EXPECT_EQ(back.m_nFileType, image.m_nFileType);
    if (header) {
      EXPECT_EQ(back.m_strProject, image.m_strProject);
      EXPECT_EQ(back.m_nEndian, image.m_nEndian);
      EXPECT_EQ(back.m_nMachineWordSize, image.m_nMachineWordSize);
      EXPECT_EQ(back.m_bBankedMemoryModel, image.m_bBankedMemoryModel);
      EXPECT_EQ(back.m_nTableLayout, image.m_nTableLayout);
      EXPECT_EQ(back.m_dwTableAddress, image.m_dwTableAddress);
      EXPECT_EQ(back.m_wSoftwareVersionID, image.m_wSoftwareVersionID);
      EXPECT_EQ(back.m_dwCRCBlockPointer, image.m_dwCRCBlockPointer);
      EXPECT_EQ(back.m_dwModuleConfigAddress, image.m_dwModuleConfigAddress);
      ASSERT_EQ(back.m_listInitRAM.size(), image.m_listInitRAM.size());
      for (auto a = image.m_listInitRAM.begin(), b = back.m_listInitRAM.begin(); a != image.m_listInitRAM.end();
           ++a, ++b) {
        EXPECT_EQ(a->m_dwRAMAddress, b->m_dwRAMAddress);
        EXPECT_EQ(a->m_dwROMAddress, b->m_dwROMAddress);
        EXPECT_EQ(a->m_dwLength, b->m_dwLength);
      }
    }
  }
}

}  // namespace
