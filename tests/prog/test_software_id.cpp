// The software-ID lookup through the controller database.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "prog/prog_base.h"
#include "support/image_builder.h"
#include "support/test_tdb.h"

namespace {

using testimg::ImageBuilder;
using testimg::Item;
using testimg::Layout;
using testimg::TdbRow;

// Rows of StandardTestRows: for 42 / 3 "SwIdTxt" is item 2 of table 1, 8 characters; for the
// default ids 6 / 9 it is item 1 of table 3, 12 characters.
constexpr uint8_t kSwTable = 1, kSwItem = 2;
constexpr uint8_t kDefaultSwTable = 3, kDefaultSwItem = 1;

Layout Shape(uint8_t wordSize, uint32_t layout, uint8_t endian) {
  Layout L;
  L.wordSize = wordSize;
  L.tableLayout = layout;
  L.endian = endian;
  return L;
}

class SoftwareId : public ::testing::Test {
 protected:
  TestTdb tdb;
  CProgParse image;
};

TEST_F(SoftwareId, FoundForEveryShape) {
  for (uint8_t w : {uint8_t{2}, uint8_t{3}, uint8_t{4}})
    for (uint32_t layout : {0u, 1u, 2u})
      for (uint8_t endian : {uint8_t{0}, uint8_t{1}}) {
        SCOPED_TRACE(testing::Message() << "w" << int(w) << " layout " << layout << " endian " << int(endian));
        ImageBuilder b(Shape(w, layout, endian));
        b.SetIdentity(42, 3, "SW000042", "CAL-0042-ABCDEFG");
        CProgParse img;
        b.BuildInto(img);
        std::string text = "old";
        ASSERT_TRUE(img.ReadSoftwareIdText(text, 0));
        EXPECT_EQ(text, "SW000042");
        // Every entry of both directories is filled, so the calibration ID reads after it.
        EXPECT_EQ(img.m_dirTables[2].dwAddress, b.TableAddress(2));
        char cal[17] = {};
        EXPECT_EQ(img.ReadTableItem(2, 0, reinterpret_cast<uint8_t*>(cal), 0, 16), TABLE_OK);
        EXPECT_STREQ(cal, "CAL-0042-ABCDEFG");
      }
}

TEST_F(SoftwareId, NoTableAddressReadsNothing) {
  ImageBuilder b;
  b.SetIdentity(42, 3, "SW000042", "");
  b.BuildInto(image);
  image.m_dwTableAddress = 0;
  std::string text = "old";
  EXPECT_FALSE(image.ReadSoftwareIdText(text, 1));
  EXPECT_EQ(text, "old");
  EXPECT_EQ(image.m_dirTables[0].dwAddress, 0u);
}

TEST_F(SoftwareId, UnreadableIdsWithoutDefaultsGiveUpBeforeTheDirectory) {
  ImageBuilder b;
  b.SetText(kSwTable, kSwItem, "SW000042", 8);  // no ids in table 0
  b.BuildInto(image);
  std::string text = "old";
  EXPECT_FALSE(image.ReadSoftwareIdText(text, 0));
  EXPECT_EQ(text, "old");
  // Entries 1 to 7 are read only once the ids are known.
  EXPECT_EQ(image.m_dirTables[kSwTable].dwAddress, 0u);
}

TEST_F(SoftwareId, UnreadableIdsWithDefaultsUseSixAndNine) {
  ImageBuilder b;
  b.SetText(kDefaultSwTable, kDefaultSwItem, "DEFAULT-SW-1", 12);
  b.BuildInto(image);
  std::string text;
  ASSERT_TRUE(image.ReadSoftwareIdText(text, 1));
  EXPECT_EQ(text, "DEFAULT-SW-1");
}

TEST_F(SoftwareId, IdItemWiderThanOneByteCountsAsUnreadable) {
  ImageBuilder b;
  b.SetItem(0, 0, Item::Words({42})).SetItem(0, 1, Item::Bytes({9}));
  b.SetText(kSwTable, kSwItem, "SW000042", 8).SetText(kDefaultSwTable, kDefaultSwItem, "DEFAULT-SW-1", 12);
  b.BuildInto(image);
  std::string text;
  EXPECT_FALSE(image.ReadSoftwareIdText(text, 0));
  ASSERT_TRUE(image.ReadSoftwareIdText(text, 1));
  EXPECT_EQ(text, "DEFAULT-SW-1");  // read with ProjectID 6: 42 never made it
}

TEST_F(SoftwareId, CheckComparesWholeAndCaseSensitive) {
  ImageBuilder b;
  b.SetIdentity(42, 3, "SwId0042", "");
  b.BuildInto(image);
  EXPECT_TRUE(image.CheckSoftwareIdText("SwId0042", 0));
  EXPECT_FALSE(image.CheckSoftwareIdText("SWID0042", 0));
  EXPECT_FALSE(image.CheckSoftwareIdText("SwId004", 0));
  image.m_dwTableAddress = 0;
  EXPECT_FALSE(image.CheckSoftwareIdText("SwId0042", 0));
}

TEST_F(SoftwareId, UnreadableEntriesAreCleared) {
  ImageBuilder b;
  b.SetIdentity(42, 3, "SW000042", "");
  b.BuildInto(image);
  image.m_dirTables[6] = {0x1234, 5};
  image.m_dirTablesB[6] = {0x1234, 5};
  std::string text;
  ASSERT_TRUE(image.ReadSoftwareIdText(text, 0));
  EXPECT_EQ(image.m_dirTables[6].dwAddress, 0u);
  EXPECT_EQ(image.m_dirTables[6].byCount, 0);
  EXPECT_EQ(image.m_dirTablesB[6].dwAddress, 0u);
}

TEST_F(SoftwareId, DirectoryBStrideFollowsTheExactProjectName) {
  struct Case {
    const char* project;
    uint32_t strideB;
  };
  for (const Case& c : {Case{"MPC55xx", 4 + 4}, Case{"mpc55xx", 4 + 2}, Case{"MPC55xx ", 4 + 2}, Case{"", 4 + 2}}) {
    Layout L;
    L.project = c.project;
    ImageBuilder b(L);
    b.SetIdentity(42, 3, "SW000042", "");
    CProgParse img;
    b.BuildInto(img);
    std::string text;
    ASSERT_TRUE(img.ReadSoftwareIdText(text, 0));
    TableDirEntry expected;
    ASSERT_TRUE(img.ReadDirectoryEntry(L.tableAddress + c.strideB, expected));
    EXPECT_EQ(img.m_dirTablesB[1].dwAddress, expected.dwAddress) << c.project;
    EXPECT_EQ(img.m_dirTablesB[1].byCount, expected.byCount) << c.project;
  }
}

// ---------------------------------------------------------------- what the database says

struct LengthCase {
  const char* name;
  int64_t sizeFactor1, sizeFactor2;
  Item item;
  bool found;
  std::string text;
};

void PrintTo(const LengthCase& c, std::ostream* os) { *os << c.name; }

class ParameterLength : public ::testing::TestWithParam<LengthCase> {};

TEST_P(ParameterLength, TextFound) {
  const LengthCase& c = GetParam();
  TestTdb tdb({{42, 3, "SwIdTxt", kSwTable, kSwItem, c.sizeFactor1, c.sizeFactor2}});
  ImageBuilder b;
  b.SetIds(42, 3).SetItem(kSwTable, kSwItem, c.item);
  CProgParse image;
  b.BuildInto(image);
  std::string text = "old";
  EXPECT_EQ(image.ReadSoftwareIdText(text, 0), c.found);
  EXPECT_EQ(text, c.found ? c.text : "old");
}

Item WithZero() { return Item::Bytes({'A', 'B', 0, 'C', 'D', 'E', 'F', 'G'}); }

INSTANTIATE_TEST_SUITE_P(
    Lookup, ParameterLength,
    ::testing::Values(LengthCase{"ItemFillsTheLength", 1, 8, Item::Text("12345678", 8), true, "12345678"},
                      LengthCase{"FactorsMultiply", 2, 4, Item::Text("12345678", 8), true, "12345678"},
                      LengthCase{"ItemShorterThanTheLength", 1, 8, Item::Text("12345", 5), true, "12345"},
                      LengthCase{"ZeroByteEndsTheText", 8, 1, WithZero(), true, "AB"},
                      LengthCase{"LengthZeroEmptyItem", 0, 5, Item::Bytes({}), true, ""},
                      LengthCase{"ItemLongerThanTheLengthIsRefused", 1, 8, Item::Text("123456789", 9), false, ""},
                      LengthCase{"LengthZeroWithValuesIsRefused", 0, 0, Item::Text("1", 1), false, ""},
                      // Products past 32 bits neither wrap round to a small length nor ask for gigabytes.
                      LengthCase{"ProductWrapsIn32Bits", 0x10000, 0x10000, Item::Text("12345678", 8), true, "12345678"},
                      LengthCase{"LargestFactors", 0xFFFFFFFF, 0xFFFFFFFF, Item::Text("12345678", 8), true, "12345678"},
                      LengthCase{"ItemOfTwoByteValues", 1, 8, Item::Words({0x4241, 0x4443}), true, "ABCD"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(SoftwareIdDatabase, ParameterTheDatabaseLacks) {
  TestTdb tdb({{42, 3, "CalIdTxt", 2, 0, 16, 1}});
  ImageBuilder b;
  b.SetIds(42, 3).SetText(kSwTable, kSwItem, "SW000042", 8);
  CProgParse image;
  b.BuildInto(image);
  std::string text = "old";
  EXPECT_FALSE(image.ReadSoftwareIdText(text, 1));
  EXPECT_EQ(text, "old");
  // The directory was read all the same.
  EXPECT_NE(image.m_dirTables[kSwTable].dwAddress, 0u);
}

TEST(SoftwareIdDatabase, MissingOrDamagedDatabase) {
  ImageBuilder b;
  b.SetIdentity(42, 3, "SW000042", "");
  for (const char* path : {"/nonexistent/folder/controllers.tdb", "/dev/null", "/"}) {
    ScopedTdbPath scope(path);
    CProgParse image;
    b.BuildInto(image);
    std::string text = "old";
    EXPECT_FALSE(image.ReadSoftwareIdText(text, 1)) << path;
    EXPECT_EQ(text, "old");
  }
}

}  // namespace
