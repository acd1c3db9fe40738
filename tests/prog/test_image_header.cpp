// The image header: identifiers, byte order, word size, map addresses and lengths, header word.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/string_table.h"
#include "prog/prog_base.h"
#include "support/records.h"
#include "support/ui_recorder.h"

namespace {

constexpr uint32_t H = 0x1000;

void PutValue(std::vector<uint8_t>& out, uint32_t value, int width, bool bigEndian) {
  for (int i = 0; i < width; ++i) {
    const int shift = bigEndian ? 8 * (width - 1 - i) : 8 * i;
    out.push_back(static_cast<uint8_t>(value >> shift));
  }
}

// A header in the documented layout.
struct Header {
  std::string ecu = "AB12_X01";
  std::string project = "PRJ01";
  uint8_t endian = 0;
  uint8_t wordSize = 2;
  std::vector<uint32_t> addresses;
  std::vector<uint16_t> lengths;

  std::vector<uint8_t> Bytes() const {
    std::vector<uint8_t> b(25, 0);
    std::memcpy(b.data(), ecu.data(), std::min<size_t>(8, ecu.size()));
    std::memcpy(b.data() + 8, project.data(), std::min<size_t>(5, project.size()));
    b[13] = 0xAA;
    b[14] = 0xBB;
    b[23] = endian;
    b[24] = wordSize;
    const int w = wordSize == 0 ? 2 : std::min<int>(wordSize, 4);
    const bool big = endian == 0;
    PutValue(b, 0xEEEEEEEE, w, big);  // the slot before the list is not read
    for (uint32_t a : addresses) PutValue(b, a, w, big);
    PutValue(b, 0, w, big);
    PutValue(b, 0xEEEEEEEE, w, big);  // nor the one after its zero
    for (uint16_t l : lengths) PutValue(b, l, 2, big);
    return b;
  }
};

TEST(ImageHeader, ReadsAWholeHeaderInBothByteOrders) {
  for (const uint8_t endian : {uint8_t{0}, uint8_t{1}}) {
    SCOPED_TRACE(endian);
    Header h;
    h.endian = endian;
    h.wordSize = 4;
    h.addresses = {0x00012345, 0x80000000};
    h.lengths = {0x0100, 0xFFFF};
    CProgParse image;
    image.m_nEndian = 7;  // the header's byte replaces the one from the file's settings
    Place(image, H, h.Bytes());
    UiRecorder ui;
    ASSERT_TRUE(image.ReadImageHeader(H));
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(image.m_strEcuId, "AB12");
    EXPECT_EQ(image.m_strProjectId, "PRJ01");
    EXPECT_EQ(image.m_nEndian, endian);
    EXPECT_EQ(image.m_nHeaderWordSize, 4);
    EXPECT_EQ(image.m_arrMapAddresses, (std::vector<uint32_t>{0x00012345, 0x80000000}));
    EXPECT_EQ(image.m_arrMapLengths, (std::vector<uint32_t>{0x0100, 0xFFFF}));
  }
}

TEST(ImageHeader, EcuId) {
  struct Case {
    const char* bytes;  // 8 bytes
    int result;
    const char* id;  // expected m_strEcuId (starts as "old")
  } cases[] = {
      {"AB12_X01", PROG_OK, "AB12"},          {"_BCDEFGH", PROG_OK, ""},
      {"ABCDEFG_", PROG_OK, "ABCDEFG"},       {"ABCDEFGH", PROG_E_HEADER_ID, "old"},
      {"AB\0_X01Z", PROG_E_HEADER_ID, "old"},  // the text ends before the underscore
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    CProgParse image;
    image.m_strEcuId = "old";
    Place(image, H, std::vector<uint8_t>(c.bytes, c.bytes + 8));
    EXPECT_EQ(image.ReadHeaderEcuId(H), c.result);
    EXPECT_EQ(image.m_strEcuId, c.id);
  }
}

TEST(ImageHeader, ProjectId) {
  struct Case {
    const char* bytes;  // 5 bytes
    const char* id;
  } cases[] = {{"AB CD", "AB"}, {"ABCDE", "ABCDE"}, {"AB\0CD", "AB"}, {" ABCD", ""}};
  for (const Case& c : cases) {
    CProgParse image;
    std::vector<uint8_t> bytes(13, 'x');
    std::memcpy(bytes.data() + 8, c.bytes, 5);
    Place(image, H, bytes);
    EXPECT_EQ(image.ReadHeaderProjectId(H), PROG_OK);
    EXPECT_EQ(image.m_strProjectId, c.id);
  }
}

TEST(ImageHeader, EndianAndWordSizeKeepWhatTheyRead) {
  struct Case {
    uint32_t offset;
    uint8_t byte;
    int result;
    uint8_t stored;
  } cases[] = {
      {23, 0, PROG_OK, 0},
      {23, 1, PROG_OK, 1},
      {23, 2, PROG_E_HEADER_READ, 2},
      {24, 0, PROG_OK, 2},
      {24, 1, PROG_OK, 1},
      {24, 3, PROG_OK, 3},
      {24, 4, PROG_OK, 4},
      {24, 5, PROG_E_HEADER_READ, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.offset << ":" << int{c.byte});
    CProgParse image;
    std::vector<uint8_t> bytes(25, 0);
    bytes[c.offset] = c.byte;
    Place(image, H, bytes);
    if (c.offset == 23) {
      EXPECT_EQ(image.ReadHeaderEndian(H), c.result);
      EXPECT_EQ(image.m_nEndian, c.stored);
    } else {
      EXPECT_EQ(image.ReadHeaderWordSize(H), c.result);
      EXPECT_EQ(image.m_nHeaderWordSize, c.stored);
    }
  }
}

TEST(ImageHeader, UnreadableWordSizeStillTurnsAHeldZeroIntoTwo) {
  CProgParse image;
  image.m_nHeaderWordSize = 0;
  EXPECT_EQ(image.ReadHeaderWordSize(H), PROG_E_HEADER_READ);
  EXPECT_EQ(image.m_nHeaderWordSize, 2);
}

// Slot bytes 12 34 56 78 in address order, read with each width and byte order.
TEST(ImageHeader, MapAddressByteOrderAndWidth) {
  struct Case {
    uint8_t w;
    uint8_t endian;
    uint32_t address;
  } cases[] = {
      {1, 0, 0x12},     {1, 1, 0x12},     {2, 0, 0x1234},     {2, 1, 0x3412},
      {3, 0, 0x123456}, {3, 1, 0x563412}, {4, 0, 0x12345678}, {4, 1, 0x78563412},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "w=" << int{c.w} << " endian=" << int{c.endian});
    const uint8_t slot[] = {0x12, 0x34, 0x56, 0x78};
    std::vector<uint8_t> bytes(25 + c.w, 0);      // up to slot 0, which is not read
    bytes.insert(bytes.end(), slot, slot + c.w);  // slot 1
    bytes.insert(bytes.end(), c.w, 0);            // the list's zero
    CProgParse image;
    image.m_nEndian = c.endian;
    image.m_nHeaderWordSize = c.w;
    Place(image, H, bytes);
    EXPECT_EQ(image.ReadHeaderMapAddresses(H), PROG_OK);
    EXPECT_EQ(image.m_arrMapAddresses, std::vector<uint32_t>{c.address});
  }
}

TEST(ImageHeader, MapLengthsFollowTheListAndTheByteOrder) {
  // w = 2, two addresses and the list's zero: the lengths start at H + 35.
  for (const uint8_t endian : {uint8_t{0}, uint8_t{1}}) {
    Header h;
    h.endian = endian;
    h.addresses = {0x100, 0x200};
    CProgParse image;
    std::vector<uint8_t> bytes = h.Bytes();
    ASSERT_EQ(bytes.size(), 35u);
    bytes.insert(bytes.end(), {0x12, 0x34, 0x56, 0x78});
    Place(image, H, bytes);
    ASSERT_TRUE(image.ReadImageHeader(H));
    const std::vector<uint32_t> expected =
        endian == 0 ? std::vector<uint32_t>{0x1234, 0x5678} : std::vector<uint32_t>{0x3412, 0x7856};
    EXPECT_EQ(image.m_arrMapLengths, expected);
  }
}

TEST(ImageHeader, AnEmptyListReadsNoLength) {
  Header h;  // no address: the first slot is the zero
  CProgParse image;
  std::vector<uint8_t> bytes = h.Bytes();
  bytes.resize(bytes.size() - 2);  // not even the unread slot after the zero is needed
  Place(image, H, bytes);
  EXPECT_TRUE(image.ReadImageHeader(H));
  EXPECT_TRUE(image.m_arrMapAddresses.empty());
  EXPECT_TRUE(image.m_arrMapLengths.empty());
}

TEST(ImageHeader, ListOfAtMost199Addresses) {
  for (const size_t n : {199u, 200u}) {
    SCOPED_TRACE(n);
    Header h;
    for (size_t i = 0; i < n; ++i) h.addresses.push_back(static_cast<uint32_t>(0x100 + i));
    h.lengths.assign(n, 1);
    CProgParse image;
    Place(image, H, h.Bytes());
    UiRecorder ui;
    const bool ok = image.ReadImageHeader(H);
    EXPECT_EQ(image.m_arrMapAddresses.size(), std::min<size_t>(n, 200));
    if (n == 199) {
      EXPECT_TRUE(ok);
      EXPECT_EQ(image.m_arrMapLengths.size(), 199u);
    } else {
      // 200 non-zero slots: the list has no end, and the lengths are not read.
      EXPECT_FALSE(ok);
      EXPECT_TRUE(image.m_arrMapLengths.empty());
      ASSERT_EQ(ui.boxes.size(), 1u);
      EXPECT_EQ(ui.boxes[0].text, LoadResString(PROG_E_HEADER_READ));
      EXPECT_EQ(ui.boxes[0].style, unsigned{MB_OK});
    }
  }
}

TEST(ImageHeader, ReadingTwiceAppendsAndShiftsTheLengths) {
  Header h;
  h.addresses = {0x100, 0x200};
  h.lengths = {0x11, 0x22};
  CProgParse image;
  std::vector<uint8_t> bytes = h.Bytes();
  // The second read counts four addresses: its lengths start two slots further on.
  bytes.insert(bytes.end(), {0x00, 0x33, 0x00, 0x44, 0x00, 0x55, 0x00, 0x66});
  Place(image, H, bytes);
  ASSERT_TRUE(image.ReadImageHeader(H));
  ASSERT_TRUE(image.ReadImageHeader(H));
  EXPECT_EQ(image.m_arrMapAddresses, (std::vector<uint32_t>{0x100, 0x200, 0x100, 0x200}));
  // 25 + (4 + 3) * 2 = 39: the bytes after the first two lengths.
  EXPECT_EQ(image.m_arrMapLengths, (std::vector<uint32_t>{0x11, 0x22, 0x33, 0x44, 0x55, 0x66}));
}

TEST(ImageHeader, MissingLengthsAreSkippedAndReported) {
  Header h;
  h.addresses = {0x100, 0x200, 0x300};
  h.lengths = {0x11, 0x22, 0x33};
  std::vector<uint8_t> bytes = h.Bytes();
  CProgParse image;
  // The record holding the second length is missing.
  const size_t second = bytes.size() - 4;
  std::vector<uint8_t> head(bytes.begin(), bytes.begin() + static_cast<long>(second));
  Place(image, H, head);
  Place(image, H + static_cast<uint32_t>(second) + 2, {0x00, 0x33});
  image.m_nHeaderWordSize = 2;
  image.m_arrMapAddresses = {1, 2, 3};
  EXPECT_EQ(image.ReadHeaderMapLengths(H), PROG_E_HEADER_READ);
  EXPECT_EQ(image.m_arrMapLengths, (std::vector<uint32_t>{0x11, 0x33}));
}

TEST(ImageHeader, FailingFieldShowsItsMessageOnce) {
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;  // placed at H (none: the header lies in no record)
    int code;
  };
  Header noUnderscore;
  noUnderscore.ecu = "ABCDEFGH";
  Header badEndian;
  badEndian.endian = 2;
  Header badWordSize;
  badWordSize.wordSize = 9;
  const Case cases[] = {
      {"no record", {}, PROG_E_HEADER_READ},
      {"no underscore", noUnderscore.Bytes(), PROG_E_HEADER_ID},
      {"endian", badEndian.Bytes(), PROG_E_HEADER_READ},
      {"word size", badWordSize.Bytes(), PROG_E_HEADER_READ},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CProgParse image;
    image.m_strEcuId = "kept";
    Place(image, H, c.bytes);
    UiRecorder ui;
    EXPECT_FALSE(image.ReadImageHeader(H));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, LoadResString(static_cast<unsigned>(c.code)));
    EXPECT_FALSE(ui.boxes[0].text.empty());
    EXPECT_TRUE(image.m_arrMapAddresses.empty());
    if (c.code == PROG_E_HEADER_ID || c.bytes.empty()) {
      EXPECT_EQ(image.m_strEcuId, "kept");
    }
  }
}

TEST(ImageHeader, MapAddressesRefuseAWidthOutOfRange) {
  for (const uint8_t w : {uint8_t{0}, uint8_t{5}, uint8_t{255}}) {
    CProgParse image;
    Place(image, H, std::vector<uint8_t>(64, 0x11));
    image.m_nHeaderWordSize = w;
    EXPECT_EQ(image.ReadHeaderMapAddresses(H), PROG_E_HEADER_READ);
    EXPECT_TRUE(image.m_arrMapAddresses.empty());
    EXPECT_EQ(image.ReadHeaderMapLengths(H), PROG_OK);  // no address, so no length to read
    image.m_arrMapAddresses = {0x42};
    EXPECT_EQ(image.ReadHeaderMapLengths(H), PROG_E_HEADER_READ);
    EXPECT_TRUE(image.m_arrMapLengths.empty());
  }
}

TEST(ImageHeader, AHeaderAtTheTopDoesNotWrapToAddressZero) {
  // The header's first 16 bytes are the last ones of the address space; offsets from 16 on would
  // wrap round to the bytes at address 0.
  CProgParse image;
  Place(image, 0xFFFFFFF0, {'A', 'B', '_', 0, 0, 0, 0, 0, 'P', 'R', 'J', 0, 0, 0, 0, 0});
  Place(image, 0, std::vector<uint8_t>(64, 0));
  EXPECT_EQ(image.ReadHeaderEcuId(0xFFFFFFF0), PROG_OK);
  EXPECT_EQ(image.ReadHeaderProjectId(0xFFFFFFF0), PROG_OK);
  EXPECT_EQ(image.m_strProjectId, "PRJ");
  image.m_nEndian = 9;
  EXPECT_EQ(image.ReadHeaderEndian(0xFFFFFFF0), PROG_E_HEADER_READ);
  EXPECT_EQ(image.m_nEndian, 9);
  EXPECT_EQ(image.WriteHeaderWord(0xFFFFFFF0, 0x1234), PROG_OK);
  EXPECT_EQ(image.WriteHeaderWord(0xFFFFFFF2, 0x1234), PROG_E_HEADER_READ);
  EXPECT_EQ(image.m_listRecords.back().m_data[0], 0) << "the write must not wrap round to address 0";
}

TEST(ImageHeader, HeaderInAnInitRamRangeIsReadFromItsRomCopy) {
  Header h;
  h.addresses = {0x42};
  h.lengths = {7};
  CProgParse image;
  Place(image, 0x8000, h.Bytes());
  image.AddInitRAMSection(0x40000000, 0x8000, 0x100);
  ASSERT_TRUE(image.ReadImageHeader(0x40000000));
  EXPECT_EQ(image.m_strEcuId, "AB12");
  EXPECT_EQ(image.m_arrMapLengths, std::vector<uint32_t>{7});
}

TEST(ImageHeader, HeaderWordIsMostSignificantByteFirstInBothByteOrders) {
  for (const uint8_t endian : {uint8_t{0}, uint8_t{1}}) {
    CProgParse image;
    image.m_nEndian = endian;
    Place(image, H, std::vector<uint8_t>(20, 0));
    EXPECT_EQ(image.WriteHeaderWord(H, 0x1234), PROG_OK);
    const CProgRecord& r = image.m_listRecords.front();
    EXPECT_EQ(r.m_data[13], 0x12);
    EXPECT_EQ(r.m_data[14], 0x34);
    EXPECT_EQ(r.m_bModified, 1);
  }
}

TEST(ImageHeader, HeaderWordStopsAtTheFirstByteItCannotWrite) {
  CProgParse image;
  Place(image, H, std::vector<uint8_t>(14, 0));  // holds H + 13 but not H + 14
  EXPECT_EQ(image.WriteHeaderWord(H, 0x1234), PROG_E_HEADER_READ);
  EXPECT_EQ(image.m_listRecords.front().m_data[13], 0x12);

  CProgParse empty;
  EXPECT_EQ(empty.WriteHeaderWord(H, 0x1234), PROG_E_HEADER_READ);
}

}  // namespace
