// Parameter tables: pointers, the directory, item descriptors in the three layouts, item reads
// and writes, and the typed access in the image's byte order.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "prog/prog_base.h"
#include "support/image_builder.h"
#include "support/prog_text.h"

namespace {

using testimg::DirView;
using testimg::ImageBuilder;
using testimg::Item;
using testimg::Layout;

// An image holding bytes at address as one record (up to 64 bytes).
void AddRecord(CProgBase& image, uint32_t address, const std::vector<uint8_t>& bytes) {
  CProgRecord r;
  r.m_dwAddress = address;
  r.m_nLength = static_cast<uint8_t>(bytes.size());
  std::copy(bytes.begin(), bytes.end(), r.m_data);
  r.m_nRecordType = 3;
  image.m_listRecords.push_back(r);
}

// Directory A as the software-ID lookup reads it.
void ReadDirectory(CProgBase& image, DirView view = DirView::A) {
  const uint32_t w = image.m_nMachineWordSize;
  const uint32_t stride = view == DirView::A ? w + 1 : view == DirView::B ? w + 2 : w + 4;
  TableDirEntry* dir = view == DirView::A ? image.m_dirTables : image.m_dirTablesB;
  for (uint32_t i = 0; i < kProgTableDirSize; ++i)
    if (!image.ReadDirectoryEntry(image.m_dwTableAddress + i * stride, dir[i])) dir[i] = {};
}

// ---------------------------------------------------------------- pointers

struct PointerCase {
  const char* name;
  uint8_t wordSize;
  uint8_t endian;
  bool banked;
  uint32_t storedAt;
  std::vector<uint8_t> bytes;
  bool ok;
  uint32_t pointer;
};

void PrintTo(const PointerCase& c, std::ostream* os) { *os << c.name; }

class Pointers : public ::testing::TestWithParam<PointerCase> {};

TEST_P(Pointers, ReadAsTheWordSizeSays) {
  const PointerCase& c = GetParam();
  CProgParse image;
  image.m_nMachineWordSize = c.wordSize;
  image.m_nEndian = c.endian;
  AddRecord(image, c.storedAt, c.bytes);
  uint32_t p = 0xDEADBEEF;
  EXPECT_EQ(image.ReadPointer(c.storedAt, p, c.banked), c.ok);
  EXPECT_EQ(p, c.ok ? c.pointer : 0xDEADBEEF);
}

INSTANTIATE_TEST_SUITE_P(
    Tables, Pointers,
    ::testing::Values(PointerCase{"Word3Big", 3, 0, false, 0x100, {0x12, 0x34, 0x56}, true, 0x123456},
                      PointerCase{"Word3LittleStillMsbFirst", 3, 1, false, 0x100, {0x12, 0x34, 0x56}, true, 0x123456},
                      PointerCase{"Word2Big", 2, 0, false, 0x100, {0x12, 0x34}, true, 0x1234},
                      PointerCase{"Word2Little", 2, 1, false, 0x100, {0x12, 0x34}, true, 0x3412},
                      PointerCase{"Word2BankedTakesBank", 2, 0, true, 0x051000, {0x12, 0x34}, true, 0x051234},
                      PointerCase{"Word2BankedDropsTopByte", 2, 0, true, 0x7F051000, {0x12, 0x34}, true, 0x051234},
                      PointerCase{"Word2NotBanked", 2, 0, false, 0x051000, {0x12, 0x34}, true, 0x1234},
                      PointerCase{"Word4Big", 4, 0, false, 0x100, {0x12, 0x34, 0x56, 0x78}, true, 0x12345678},
                      PointerCase{"Word4Little", 4, 1, false, 0x100, {0x12, 0x34, 0x56, 0x78}, true, 0x78563412},
                      PointerCase{"Word4BankedIgnored", 4, 0, true, 0x051000, {0, 0, 0x12, 0x34}, true, 0x1234},
                      PointerCase{"Word4LastByteMissing", 4, 0, false, 0x100, {0x12, 0x34, 0x56}, false, 0},
                      PointerCase{"Word3LastByteMissing", 3, 0, false, 0x100, {0x12, 0x34}, false, 0},
                      PointerCase{"WordSize0", 0, 0, false, 0x100, {1, 2, 3, 4}, false, 0},
                      PointerCase{"WordSize1", 1, 0, false, 0x100, {1, 2, 3, 4}, false, 0},
                      PointerCase{"WordSize5", 5, 0, false, 0x100, {1, 2, 3, 4, 5}, false, 0}),
    [](const auto& p) { return std::string(p.param.name); });

// ---------------------------------------------------------------- typed access

TEST(TypedAccess, ReadsAndWritesInTheImageByteOrder) {
  for (uint8_t endian : {uint8_t{0}, uint8_t{1}, uint8_t{2}}) {
    SCOPED_TRACE(endian);
    CProgParse image;
    image.m_nEndian = endian;
    AddRecord(image, 0x200, {0x12, 0x34, 0x56, 0x78, 0, 0, 0, 0, 0, 0});
    const bool big = endian == 0;
    uint8_t b = 0;
    uint16_t w = 0;
    uint32_t l = 0;
    ASSERT_TRUE(image.ReadByte(0x201, b));
    EXPECT_EQ(b, 0x34);
    ASSERT_TRUE(image.ReadWord(0x200, w));
    EXPECT_EQ(w, big ? 0x1234 : 0x3412);
    ASSERT_TRUE(image.ReadLong(0x200, l));
    EXPECT_EQ(l, big ? 0x12345678u : 0x78563412u);

    ASSERT_TRUE(image.WriteWord(0x204, 0xA1B2));
    ASSERT_TRUE(image.WriteLong(0x206, 0xC1D2E3F4));
    const uint8_t* d = image.m_listRecords.front().m_data;
    const std::vector<uint8_t> got(d + 4, d + 10);
    EXPECT_EQ(got, big ? std::vector<uint8_t>({0xA1, 0xB2, 0xC1, 0xD2, 0xE3, 0xF4})
                       : std::vector<uint8_t>({0xB2, 0xA1, 0xF4, 0xE3, 0xD2, 0xC1}));
    EXPECT_EQ(image.m_listRecords.front().m_bModified, 1);
    ASSERT_TRUE(image.ReadLong(0x206, l));
    EXPECT_EQ(l, 0xC1D2E3F4u);
  }
}

TEST(TypedAccess, FailuresAtAGap) {
  CProgParse image;
  AddRecord(image, 0x300, {1, 2});
  uint16_t w = 0x5555;
  uint32_t l = 0x55555555;
  EXPECT_FALSE(image.ReadWord(0x301, w));
  EXPECT_EQ(w, 0x5555);
  EXPECT_FALSE(image.ReadLong(0x300, l));
  // A write that runs into the gap keeps the bytes before it.
  EXPECT_FALSE(image.WriteLong(0x300, 0xAABBCCDD));
  EXPECT_EQ(image.m_listRecords.front().m_data[0], 0xAA);
  EXPECT_EQ(image.m_listRecords.front().m_data[1], 0xBB);
  EXPECT_FALSE(image.WriteByte(0x302, 1));
}

TEST(Reversal, BytesWordsLongsAndTarget) {
  struct Case {
    uint8_t n;
    std::vector<uint8_t> in, out;
  };
  for (const Case& c : std::vector<Case>{{0, {1, 2, 3}, {1, 2, 3}},
                                         {1, {1, 2, 3}, {1, 2, 3}},
                                         {2, {1, 2, 3}, {2, 1, 3}},
                                         {3, {1, 2, 3}, {3, 2, 1}},
                                         {4, {1, 2, 3, 4, 5}, {4, 3, 2, 1, 5}},
                                         {5, {1, 2, 3, 4, 5}, {5, 4, 3, 2, 1}}}) {
    std::vector<uint8_t> v = c.in;
    CProgBase::ReverseBytes(v.data(), c.n);
    EXPECT_EQ(v, c.out) << int(c.n);
  }
  std::vector<uint8_t> v = {1, 2, 3, 4};
  CProgBase::ReverseWord(v.data());
  EXPECT_EQ(v, std::vector<uint8_t>({2, 1, 3, 4}));
  CProgBase::ReverseLong(v.data());
  EXPECT_EQ(v, std::vector<uint8_t>({4, 3, 1, 2}));

  // SwapToTarget goes by the word size alone, not by the byte order.
  for (uint8_t w : {uint8_t{2}, uint8_t{3}, uint8_t{4}}) {
    CProgParse image;
    image.m_nMachineWordSize = w;
    image.m_nEndian = 1;
    std::vector<uint8_t> x = {1, 2, 3, 4};
    image.SwapToTarget(x.data());
    EXPECT_EQ(x, w == 2   ? std::vector<uint8_t>({2, 1, 3, 4})
                 : w == 4 ? std::vector<uint8_t>({4, 3, 2, 1})
                          : std::vector<uint8_t>({1, 2, 3, 4}));
  }
}

TEST(TableSettings, ClearTableSettings) {
  CProgParse image;
  image.m_dwTableAddress = 0x1000;
  image.m_nEndian = 1;
  image.m_nMachineWordSize = 4;
  image.m_nTableLayout = 2;
  EXPECT_TRUE(image.ClearTableSettings());
  EXPECT_EQ(image.m_dwTableAddress, 0u);
  EXPECT_EQ(image.m_nEndian, 0);
  EXPECT_EQ(image.m_nMachineWordSize, 0);
  EXPECT_EQ(image.m_nTableLayout, 2u);
}

// ---------------------------------------------------------------- the directory

TEST(Directory, EntriesAndTheWideForm) {
  CProgParse image;
  image.m_nMachineWordSize = 2;
  image.m_nEndian = 0;
  image.m_bBankedMemoryModel = 1;
  AddRecord(image, 0x041000, {0x20, 0x00, 0x07, 0x01});
  TableDirEntry e;
  ASSERT_TRUE(image.ReadDirectoryEntry(0x041000, e));
  EXPECT_EQ(e.dwAddress, 0x042000u);
  EXPECT_EQ(e.byCount, 7);
  TableDirEntryWide wide;
  ASSERT_TRUE(image.ReadDirectoryEntryWide(0x041000, wide));
  EXPECT_EQ(wide.dwAddress, 0x042000u);
  EXPECT_EQ(wide.wCount, 0x0701);
  // The count byte missing: false, with the pointer already read.
  TableDirEntry partial;
  EXPECT_FALSE(image.ReadDirectoryEntry(0x041002, partial));
  EXPECT_EQ(partial.dwAddress, 0x040701u);
}

// ---------------------------------------------------------------- items across layouts

struct Shape {
  uint8_t wordSize;
  uint32_t tableLayout;
  bool banked;
  uint8_t endian;
};

std::string ShapeName(const Shape& s) {
  return "W" + std::to_string(s.wordSize) + "L" + std::to_string(s.tableLayout) + (s.banked ? "Banked" : "") +
         (s.endian == 0 ? "Big" : "Little");
}

std::vector<Shape> AllShapes() {
  std::vector<Shape> shapes;
  for (uint8_t w : {uint8_t{2}, uint8_t{3}, uint8_t{4}})
    for (uint32_t layout : {0u, 1u, 2u})
      for (bool banked : {false, true})
        for (uint8_t endian : {uint8_t{0}, uint8_t{1}}) shapes.push_back({w, layout, banked, endian});
  return shapes;
}

Layout LayoutFor(const Shape& s) {
  Layout L;
  L.wordSize = s.wordSize;
  L.tableLayout = s.tableLayout;
  L.banked = s.banked;
  L.endian = s.endian;
  // A banked image keeps its tables in a higher bank, where only the bank bits find them.
  L.tableAddress = s.banked ? 0x031000 : 0x1000;
  return L;
}

class ItemsAcrossLayouts : public ::testing::TestWithParam<Shape> {};

TEST_P(ItemsAcrossLayouts, DescriptorsValuesAndAddresses) {
  const Shape& s = GetParam();
  ImageBuilder b(LayoutFor(s));
  Item text = Item::Text("ABCDEFGHIJKLMNOP", 16);
  text.attr1 = 1;
  Item words = Item::Words({0x1234, 0xBEEF, 7});
  words.kind = 0;
  words.attr1 = 0x12;
  words.attr2 = 3;
  const Item longs = Item::Longs({0xCAFEF00D, 1});
  b.SetIds(42, 3).SetItem(1, 0, text).SetItem(1, 1, words).SetItem(1, 2, longs).SetItem(5, 3, Item::Bytes({9}));
  CProgParse image;
  b.BuildInto(image);
  ReadDirectory(image);
  EXPECT_EQ(image.m_dirTables[1].dwAddress, b.TableAddress(1));
  EXPECT_EQ(image.m_dirTables[1].byCount, 3);
  EXPECT_EQ(image.m_dirTables[5].byCount, 4);

  uint8_t id = 0;
  EXPECT_EQ(image.ReadTableItem(0, 0, &id, 0, 1), TABLE_OK);
  EXPECT_EQ(id, 42);
  EXPECT_EQ(image.ReadTableItem(0, 1, &id, 1, 1), TABLE_OK);
  EXPECT_EQ(id, 3);

  TableItemDesc d;
  ASSERT_TRUE(image.GetItemDescriptor(1, 1, d));
  EXPECT_EQ(d.dwAddress, b.ValueAddress(1, 1));
  EXPECT_EQ(d.wCount, 3);
  EXPECT_EQ(d.byWidth, 2);
  EXPECT_EQ(d.byKind, 0);
  EXPECT_EQ(d.byAttr1, 0x12);
  EXPECT_EQ(d.byAttr2, 3);

  char chars[17] = {};
  EXPECT_EQ(image.ReadTableItem(1, 0, reinterpret_cast<uint8_t*>(chars), 16, 16), TABLE_OK);
  EXPECT_STREQ(chars, "ABCDEFGHIJKLMNOP");
  uint16_t w[3] = {};
  EXPECT_EQ(image.ReadTableItem(1, 1, reinterpret_cast<uint8_t*>(w), 0, sizeof w), TABLE_OK);
  EXPECT_EQ(w[0], 0x1234);
  EXPECT_EQ(w[1], 0xBEEF);
  EXPECT_EQ(w[2], 7);
  uint32_t l[2] = {};
  EXPECT_EQ(image.ReadTableItem(1, 2, reinterpret_cast<uint8_t*>(l), 8, sizeof l), TABLE_OK);
  EXPECT_EQ(l[0], 0xCAFEF00Du);
  EXPECT_EQ(l[1], 1u);
  uint8_t nine = 0;
  EXPECT_EQ(image.ReadTableItem(5, 3, &nine, 0, 1), TABLE_OK);
  EXPECT_EQ(nine, 9);

  uint32_t at = 0;
  ASSERT_TRUE(image.GetTableItemAddress(1, 2, at));
  EXPECT_EQ(at, b.ValueAddress(1, 2));

  // A write goes back in the image's byte order and reads back the same.
  const uint32_t newLongs[2] = {0x01020304, 0xA0B0C0D0};
  ASSERT_TRUE(image.WriteTableItem(1, 2, reinterpret_cast<const uint8_t*>(newLongs)));
  EXPECT_EQ(image.ReadTableItem(1, 2, reinterpret_cast<uint8_t*>(l), 0, sizeof l), TABLE_OK);
  EXPECT_EQ(l[0], 0x01020304u);
  EXPECT_EQ(l[1], 0xA0B0C0D0u);
  uint8_t first = 0;
  ASSERT_TRUE(image.ReadByte(b.ValueAddress(1, 2), first));
  EXPECT_EQ(first, s.endian == 0 ? 0x01 : 0x04);
}

TEST_P(ItemsAcrossLayouts, TextThroughTheReaderMatchesTheDirectBuild) {
  const Shape& s = GetParam();
  ImageBuilder b(LayoutFor(s));
  b.SetIds(6, 9).SetText(2, 1, "CAL-1", 8);
  CProgParse fromText;
  ASSERT_EQ(LoadText(fromText, b.Text()), PROG_OK);
  EXPECT_EQ(fromText.m_nMachineWordSize, s.wordSize);
  EXPECT_EQ(fromText.m_nTableLayout, s.tableLayout);
  EXPECT_EQ(fromText.m_dwTableAddress, b.layout().tableAddress);
  ReadDirectory(fromText);
  uint8_t buf[8] = {};
  ASSERT_EQ(fromText.ReadTableItem(2, 1, buf, 0, sizeof buf), TABLE_OK);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf)), "CAL-1");
}

INSTANTIATE_TEST_SUITE_P(Tables, ItemsAcrossLayouts, ::testing::ValuesIn(AllShapes()),
                         [](const auto& p) { return ShapeName(p.param); });

// ---------------------------------------------------------------- descriptor fields

// Table 0 item 0 of image: a descriptor of the given bytes after a 4-byte big-endian pointer to
// 0x100, where 16 value bytes lie.
void MakeDescriptorImage(CProgParse& image, uint32_t layout, const std::vector<uint8_t>& afterPointer) {
  image.m_nMachineWordSize = 4;
  image.m_nTableLayout = layout;
  std::vector<uint8_t> desc(4 + afterPointer.size());
  desc[2] = 0x01;
  std::copy(afterPointer.begin(), afterPointer.end(), desc.begin() + 4);
  AddRecord(image, 0x40, desc);
  AddRecord(image, 0x100, std::vector<uint8_t>(16, 'x'));
  image.m_dirTables[0].dwAddress = 0x40;
}

TEST(Descriptors, PackedWordOfLayout1) {
  struct Case {
    uint32_t word;
    uint8_t attr1, attr2;
    uint16_t count;
    uint8_t kind, width;
  };
  for (const Case& c : {Case{1u << 24 | 0u << 20 | 16u << 8 | 2u << 6 | 1u, 1, 0, 16, 2, 1},
                        Case{0x12345678, 0x12, 3, 0x456, 1, 8}, Case{0xFFFFFFFF, 0xFF, 3, 0xFFF, 3, 15}}) {
    CProgParse image;
    MakeDescriptorImage(image, 1,
                        {uint8_t(c.word >> 24), uint8_t(c.word >> 16), uint8_t(c.word >> 8), uint8_t(c.word)});
    TableItemDesc d;
    ASSERT_TRUE(image.GetItemDescriptor(0, 0, d));
    EXPECT_EQ(d.dwAddress, 0x100u);
    EXPECT_EQ(d.byAttr1, c.attr1);
    EXPECT_EQ(d.byAttr2, c.attr2);
    EXPECT_EQ(d.wCount, c.count);
    EXPECT_EQ(d.byKind, c.kind);
    EXPECT_EQ(d.byWidth, c.width);
  }
  // The first word is a 16-character text: it reads.
  CProgParse image;
  MakeDescriptorImage(image, 1, {0x01, 0x00, 0x10, 0x81});
  uint8_t text[16];
  EXPECT_EQ(image.ReadTableItem(0, 0, text, 16, 16), TABLE_OK);
}

TEST(Descriptors, FlagsToKindAndWidthBits) {
  struct Case {
    uint8_t flags;
    uint8_t kind;
    int32_t result;
  };
  for (const Case& c : {Case{0x80, 0, TABLE_OK}, Case{0x40, 1, TABLE_E_KIND}, Case{0x20, 2, TABLE_OK},
                        Case{0xC0, 3, TABLE_E_KIND}, Case{0xA0, 3, TABLE_E_KIND}, Case{0x00, 3, TABLE_E_KIND}}) {
    // Layout 0: attributes, count 2 (big-endian), flags, width byte 0x82 (width 2).
    CProgParse image;
    MakeDescriptorImage(image, 0, {5, 6, 0, 2, c.flags, 0x82});
    TableItemDesc d;
    ASSERT_TRUE(image.GetItemDescriptor(0, 0, d));
    EXPECT_EQ(d.byKind, c.kind) << int(c.flags);
    EXPECT_EQ(d.byWidth, 2);
    EXPECT_EQ(d.byAttr1, 5);
    EXPECT_EQ(d.byAttr2, 6);
    uint8_t buf[4];
    EXPECT_EQ(image.ReadTableItem(0, 0, buf, 0, sizeof buf), c.result) << int(c.flags);
  }
}

TEST(Descriptors, Layout2StrideIsNineForEveryWordSize) {
  for (uint8_t w : {uint8_t{2}, uint8_t{3}}) {
    Layout L;
    L.wordSize = w;
    L.tableLayout = 2;
    ImageBuilder b(L);
    b.SetItem(3, 0, Item::Bytes({1})).SetItem(3, 1, Item::Bytes({2})).SetItem(3, 2, Item::Bytes({3}));
    CProgParse image;
    b.BuildInto(image);
    ReadDirectory(image);
    uint32_t at = 0;
    ASSERT_TRUE(image.GetTableItemAddress(3, 2, at));
    EXPECT_EQ(at, b.ValueAddress(3, 2));
  }
}

// ---------------------------------------------------------------- item results

class ItemResults : public ::testing::Test {
 protected:
  void SetUp() override {
    b.SetItem(0, 0, Item::Bytes({1, 2, 3, 4, 5}));  // 5 one-byte values
    Item kind1 = Item::Bytes({1, 2});
    kind1.kind = 1;
    b.SetItem(0, 1, kind1);
    Item width3 = Item::Bytes({1, 2, 3, 4, 5, 6});
    width3.width = 3;
    b.SetItem(0, 2, width3);  // two values of 3 bytes
    Item width3Empty = Item::Bytes({});
    width3Empty.width = 3;
    b.SetItem(0, 3, width3Empty);
    b.SetItem(0, 4, Item::Bytes({7, 8, 9, 10, 11}));  // its third value goes missing
    Item kind0 = Item::Words({0x1111});
    kind0.kind = 0;
    b.SetItem(0, 5, kind0);
    b.SetItem(0, 6, Item::Bytes({}));  // no values
    b.Erase(b.ValueAddress(0, 4) + 2);
    b.BuildInto(image);
    ReadDirectory(image);
  }

  uint8_t buf[16];
  ImageBuilder b{Layout{}};
  CProgParse image;

  int32_t Read(uint8_t item, int32_t size, uint32_t room = 16) {
    std::memset(buf, 0xEE, sizeof buf);
    return image.ReadTableItem(0, item, buf, size, room);
  }
};

TEST_F(ItemResults, CodesInTheirOrder) {
  EXPECT_EQ(Read(0, 0), TABLE_OK);
  EXPECT_EQ(Read(0, 5), TABLE_OK);
  EXPECT_EQ(Read(0, 4), TABLE_E_SIZE);  // size mismatch
  EXPECT_EQ(Read(1, 3), TABLE_E_SIZE);  // kind 1, wrong size: the size is tested first
  EXPECT_EQ(Read(1, 0), TABLE_E_KIND);  // kind 1, no size test
  EXPECT_EQ(Read(1, 2), TABLE_E_KIND);
  EXPECT_EQ(Read(2, 0), TABLE_E_WIDTH);
  EXPECT_EQ(buf[0], 0xEE);             // nothing written
  EXPECT_EQ(Read(3, 0), TABLE_OK);     // width 3, no values
  EXPECT_EQ(Read(6, 0, 0), TABLE_OK);  // no values, no room
  EXPECT_EQ(Read(9, 0), TABLE_E_NO_ITEM);
}

TEST_F(ItemResults, MissingValueKeepsTheOnesBefore) {
  EXPECT_EQ(Read(4, 0), TABLE_E_READ);
  EXPECT_EQ(buf[0], 7);
  EXPECT_EQ(buf[1], 8);
  EXPECT_EQ(buf[2], 0xEE);
}

TEST_F(ItemResults, ItemLargerThanTheRoomIsRefusedUnwritten) {
  EXPECT_EQ(Read(0, 0, 4), TABLE_E_SIZE);
  EXPECT_EQ(buf[0], 0xEE);
  EXPECT_EQ(Read(0, 5, 4), TABLE_E_SIZE);  // a matching size does not widen the room
  EXPECT_EQ(Read(0, 0, 5), TABLE_OK);
  EXPECT_EQ(buf[4], 5);
  EXPECT_EQ(buf[5], 0xEE);
  EXPECT_EQ(Read(5, 0, 1), TABLE_E_SIZE);  // one 2-byte value in one byte
}

TEST_F(ItemResults, TableNumbersPastTheDirectory) {
  for (uint8_t t : {uint8_t{8}, uint8_t{9}, uint8_t{255}}) {
    // Directly after directory A lies directory B: table 8 must not reach into it.
    image.m_dirTablesB[0] = {b.TableAddress(0), 7};
    TableItemDesc d;
    uint32_t at = 0x1234;
    EXPECT_EQ(image.ReadTableItem(t, 0, buf, 0, sizeof buf), TABLE_E_NO_ITEM);
    EXPECT_FALSE(image.GetItemDescriptor(t, 0, d));
    EXPECT_FALSE(image.GetTableItemAddress(t, 0, at));
    EXPECT_EQ(at, 0x1234u);
    EXPECT_FALSE(image.WriteTableItem(t, 0, buf));
    EXPECT_EQ(image.ReadTableItemB(t, 0, buf, 0, sizeof buf), TABLE_E_NO_ITEM);
  }
}

TEST_F(ItemResults, UnknownLayoutHasNoDescriptors) {
  image.m_nTableLayout = 3;
  TableItemDesc d;
  uint32_t at = 0;
  EXPECT_EQ(Read(0, 0), TABLE_E_NO_ITEM);
  EXPECT_FALSE(image.GetItemDescriptor(0, 0, d));
  EXPECT_FALSE(image.GetTableItemAddress(0, 0, at));
  EXPECT_FALSE(image.WriteTableItem(0, 0, buf));
}

TEST_F(ItemResults, WritesOnlyKind2WithServedWidths) {
  const uint8_t values[5] = {21, 22, 23, 24, 25};
  ASSERT_TRUE(image.WriteTableItem(0, 0, values));
  EXPECT_EQ(Read(0, 0), TABLE_OK);
  EXPECT_EQ(std::vector<uint8_t>(buf, buf + 5), std::vector<uint8_t>(values, values + 5));

  const uint16_t word = 0x2222;
  EXPECT_FALSE(image.WriteTableItem(0, 5, reinterpret_cast<const uint8_t*>(&word)));  // kind 0
  uint16_t still = 0;
  ASSERT_EQ(image.ReadTableItem(0, 5, reinterpret_cast<uint8_t*>(&still), 0, 2), TABLE_OK);
  EXPECT_EQ(still, 0x1111);
  EXPECT_FALSE(image.WriteTableItem(0, 1, values));  // kind 1
  EXPECT_FALSE(image.WriteTableItem(0, 2, values));  // width 3
  EXPECT_TRUE(image.WriteTableItem(0, 3, values));   // width 3 without values

  // Into the gap: the values before it are written.
  EXPECT_FALSE(image.WriteTableItem(0, 4, values));
  uint8_t got[2];
  ASSERT_TRUE(image.GetBytes(b.ValueAddress(0, 4), got, 2));
  EXPECT_EQ(got[0], 21);
  EXPECT_EQ(got[1], 22);
}

// ---------------------------------------------------------------- directory B

TEST(DirectoryB, WideItemNumbersAndTheMpcStride) {
  for (DirView view : {DirView::B, DirView::BMpc55}) {
    Layout L;
    L.wordSize = 3;
    L.tableLayout = 1;
    L.view = view;
    L.project = view == DirView::BMpc55 ? "MPC55xx" : "";
    ImageBuilder b(L);
    b.SetItem(2, 300, Item::Longs({0x11223344}));
    b.SetItem(7, 0, Item::Bytes({5}));
    CProgParse image;
    b.BuildInto(image);
    ReadDirectory(image, view);
    uint32_t v = 0;
    EXPECT_EQ(image.ReadTableItemB(2, 300, reinterpret_cast<uint8_t*>(&v), 4, 4), TABLE_OK);
    EXPECT_EQ(v, 0x11223344u);
    uint32_t at = 0;
    ASSERT_TRUE(image.GetTableItemAddressB(2, 300, at));
    EXPECT_EQ(at, b.ValueAddress(2, 300));
    TableItemDesc d;
    ASSERT_TRUE(image.GetItemDescriptorB(7, 0, d));
    EXPECT_EQ(d.wCount, 1);
    const uint32_t nv = 0x55667788;
    ASSERT_TRUE(image.WriteTableItemB(2, 300, reinterpret_cast<const uint8_t*>(&nv)));
    EXPECT_EQ(image.ReadTableItemB(2, 300, reinterpret_cast<uint8_t*>(&v), 0, 4), TABLE_OK);
    EXPECT_EQ(v, nv);
    // Directory A is a different reading and was never filled.
    EXPECT_EQ(image.m_dirTables[2].dwAddress, 0u);
  }
}

}  // namespace
