// CRC-32 of buffers and image ranges, and the image's CRC block.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "prog/crc.h"
#include "prog/image_ops.h"
#include "prog/prog_base.h"
#include "protect/codec.h"
#include "support/records.h"

namespace {

uint32_t ZlibCrc(const std::vector<uint8_t>& bytes) {
  return static_cast<uint32_t>(crc32(0L, bytes.data(), static_cast<uInt>(bytes.size())));
}

// Takes the bytes [address, address + n) out of the image's records.
void Punch(CProgBase& image, uint32_t address, uint32_t n) {
  CProgParse rebuilt;
  for (const CProgRecord& r : image.m_listRecords) {
    std::vector<uint8_t> chunk;
    uint32_t chunkStart = r.m_dwAddress;
    for (uint32_t i = 0; i <= r.m_nLength; ++i) {
      const uint32_t a = r.m_dwAddress + i;
      if (i == r.m_nLength || (a >= address && a - address < n)) {
        Place(rebuilt, chunkStart, chunk);
        chunk.clear();
        chunkStart = a + 1;
      } else {
        chunk.push_back(r.m_data[i]);
      }
    }
  }
  image.m_listRecords = rebuilt.m_listRecords;
  image.m_posCursor = image.m_listRecords.end();
}

std::vector<uint8_t> Bytes(CProgBase& image, uint32_t address, uint8_t n) {
  std::vector<uint8_t> v(n);
  EXPECT_TRUE(image.GetBytes(address, v.data(), n)) << std::hex << address;
  return v;
}

std::vector<uint8_t> RangeBytes(const CProgBase& image, uint32_t start, uint32_t length) {
  uint8_t* p = nullptr;
  const uint32_t n = image.GetImageRange(&p, 0xFF, start, length);
  std::vector<uint8_t> v(p, p + n);
  FreeBuffer(p);
  return v;
}

// A value as the image stores it: 2- and 4-byte values in its byte order, 3-byte pointers most
// significant byte first.
void PutValue(std::vector<uint8_t>& out, uint32_t value, unsigned width, bool bigEndian) {
  for (unsigned i = 0; i < width; ++i) {
    const unsigned shift = (bigEndian || width == 3) ? 8 * (width - 1 - i) : 8 * i;
    out.push_back(static_cast<uint8_t>(value >> shift));
  }
}

uint32_t GetValue(const std::vector<uint8_t>& bytes, bool bigEndian) {
  uint32_t v = 0;
  for (size_t i = 0; i < bytes.size(); ++i) v |= uint32_t{bytes[i]} << (bigEndian ? 8 * (bytes.size() - 1 - i) : 8 * i);
  return v;
}

struct Entry {
  uint32_t start, end;
  uint32_t crc = 0;  // the value in the field before the update
};

// An image with a CRC block: the block pointer at 0x100, the block at 0x200, its entries at
// 0x300 (count as given, which may differ from the number of entries laid out).
struct BlockImage {
  static constexpr uint32_t kPointer = 0x100, kBlock = 0x200, kEntries = 0x300;
  unsigned w;
  bool bigEndian;
  CProgParse image;

  BlockImage(unsigned wordSize, uint8_t endian, const std::vector<Entry>& entries, uint32_t count)
      : w(wordSize), bigEndian(endian == 0) {
    image.m_nMachineWordSize = static_cast<uint8_t>(w);
    image.m_nEndian = endian;
    image.m_dwCRCBlockPointer = kPointer;
    std::vector<uint8_t> b;
    PutValue(b, kBlock, w, bigEndian);
    Place(image, kPointer, b);
    b.clear();
    PutValue(b, count, 4, bigEndian);
    PutValue(b, kEntries, w, bigEndian);
    Place(image, kBlock, b);
    b.clear();
    for (const Entry& e : entries) {
      PutValue(b, 0x55555555, 4, bigEndian);
      PutValue(b, e.start, w, bigEndian);
      PutValue(b, e.end, w, bigEndian);
      PutValue(b, e.crc, 4, bigEndian);
    }
    Place(image, kEntries, b);
  }

  uint32_t EntrySize() const { return 8 + 2 * w; }
  uint32_t CrcField(size_t i) const { return kEntries + static_cast<uint32_t>(i) * EntrySize() + 4 + 2 * w; }
  uint32_t Crc(size_t i) { return GetValue(Bytes(image, CrcField(i), 4), bigEndian); }
};

// ---------------------------------------------------------------- CalcCrc32

TEST(Crc32, CheckValueAndTable) {
  const char* text = "123456789";
  EXPECT_EQ(CalcCrc32(reinterpret_cast<const uint8_t*>(text), 9), 0xCBF43926u);
  EXPECT_EQ(CalcCrc32(nullptr, 0), 0u);
  EXPECT_EQ(g_Crc32Table[0], 0u);
  EXPECT_EQ(g_Crc32Table[1], 0x77073096u);
  EXPECT_EQ(g_Crc32Table[128], 0xEDB88320u);
  EXPECT_EQ(g_Crc32Table[255], 0x2D02EF8Du);
}

TEST(Crc32, SameAsZlibForEveryLengthAndAlignment) {
  std::mt19937 rng(7);
  std::vector<uint8_t> data(4096 + 16);
  for (uint8_t& b : data) b = static_cast<uint8_t>(rng());
  for (size_t offset = 0; offset < 8; ++offset)
    for (size_t n = 0; n < 80; ++n)
      ASSERT_EQ(CalcCrc32(data.data() + offset, static_cast<uint32_t>(n)),
                crc32(0L, data.data() + offset, static_cast<uInt>(n)))
          << offset << " " << n;
  EXPECT_EQ(CalcCrc32(data.data() + 3, 4096), crc32(0L, data.data() + 3, 4096));
}

// ---------------------------------------------------------------- GetRangeCrc

TEST(RangeCrc, GapsCountAsFF) {
  CProgParse image;
  Place(image, 0x1000, {1, 2});
  EXPECT_EQ(image.GetRangeCrc(0x1000, 4), ZlibCrc({1, 2, 0xFF, 0xFF}));
  EXPECT_EQ(image.GetRangeCrc(0x5000, 3), ZlibCrc({0xFF, 0xFF, 0xFF}));
}

// The CRC is that of the flat copy, whatever order the records come in.
TEST(RangeCrc, SameAsTheFlatCopyForAnyRecordOrder) {
  struct Case {
    const char* name;
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> records;
  };
  const std::vector<uint8_t> a(64, 0xA1), b(64, 0xB2), c(10, 0xC3);
  const Case cases[] = {
      {"ascending with gaps", {{0x0F00, a}, {0x1000, a}, {0x1050, b}, {0x10F0, c}, {0x2000, a}}},
      {"descending", {{0x10F0, c}, {0x1050, b}, {0x1000, a}}},
      {"overlapping, the later wins", {{0x1000, a}, {0x1020, b}, {0x1030, c}}},
      {"the later of two overlapping records is the lower", {{0x1020, b}, {0x1000, a}}},
      {"nothing in the range", {{0x0F00, c}, {0x3000, a}}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    CProgParse image;
    for (const auto& [address, bytes] : k.records) Place(image, address, bytes);
    for (const auto& [start, length] : {std::pair<uint32_t, uint32_t>{0x1000, 0x100}, {0x1008, 0x20}, {0x1045, 0xB0}})
      EXPECT_EQ(image.GetRangeCrc(start, length), ZlibCrc(RangeBytes(image, start, length))) << std::hex << start;
  }
}

TEST(RangeCrc, ZeroForEmptyRangesAndRangesPastTheTop) {
  CProgParse image;
  Place(image, 0, {1});
  EXPECT_EQ(image.GetRangeCrc(0, 0), 0u);
  EXPECT_EQ(image.GetRangeCrc(0xFFFFFFF0, 0x20), 0u);
}

// zlib's CRC register carried on over n bytes of 0xFF.
uLong ZlibFill(uLong crc, uint64_t n) {
  static const std::vector<uint8_t> ff(1 << 20, 0xFF);
  for (; n > 0; n -= std::min<uint64_t>(n, ff.size()))
    crc = crc32(crc, ff.data(), static_cast<uInt>(std::min<uint64_t>(n, ff.size())));
  return crc;
}

// The CRC streams, so a range larger than any flat buffer has its CRC too, whatever the order
// of the records.
TEST(RangeCrc, RangesLargerThanAFlatBuffer) {
  const uint32_t length = kProgMaxFlatBuffer + 0x1000;
  const uint32_t high = length - 0x80;  // records near the range's end
  const std::vector<uint8_t> a(64, 0xA1), b(64, 0xB2), c(10, 0xC3);
  const struct {
    const char* name;
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> records;
  } cases[] = {
      {"ascending", {{0x100, a}, {0x140, b}, {high, c}, {high + 0x40, a}}},
      {"overlapping and out of order", {{high + 0x40, a}, {0x100, a}, {0x120, b}, {high, b}, {high + 0x10, c}}},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    CProgParse image;
    for (const auto& [address, bytes] : k.records) Place(image, address, bytes);
    // The flat copies of the two places that hold records, and 0xFF around them.
    const std::vector<uint8_t> low = RangeBytes(image, 0x100, 0x100), top = RangeBytes(image, high, 0x80);
    uLong expected = ZlibFill(crc32(0L, nullptr, 0), 0x100);
    expected = crc32(expected, low.data(), static_cast<uInt>(low.size()));
    expected = ZlibFill(expected, high - 0x200);
    expected = crc32(expected, top.data(), static_cast<uInt>(top.size()));
    EXPECT_EQ(image.GetRangeCrc(0, length), static_cast<uint32_t>(expected));
  }
}

// ---------------------------------------------------------------- UpdateCrcBlock

TEST(CrcBlock, PlacementByWordSizeAndByteOrder) {
  for (const unsigned w : {2u, 3u, 4u}) {
    for (const uint8_t endian : {uint8_t{0}, uint8_t{1}}) {
      SCOPED_TRACE(testing::Message() << "w=" << w << " endian=" << int{endian});
      BlockImage b(w, endian, {{0x1000, 0x1040}, {0x1010, 0x1013}}, 2);
      std::vector<uint8_t> data(0x40);
      for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
      Place(b.image, 0x1000, data);
      ASSERT_TRUE(b.image.UpdateCrcBlock());
      EXPECT_EQ(b.CrcField(1) - b.CrcField(0), w == 2 ? 12u : w == 3 ? 14u : 16u);
      const uint32_t crc0 = ZlibCrc(data);
      const uint32_t crc1 = ZlibCrc({data.begin() + 0x10, data.begin() + 0x13});
      EXPECT_EQ(b.Crc(0), crc0);
      EXPECT_EQ(b.Crc(1), crc1);
      // Most significant byte first in a big-endian image.
      EXPECT_EQ(Bytes(b.image, b.CrcField(0), 1)[0], static_cast<uint8_t>(endian == 0 ? crc0 >> 24 : crc0));
    }
  }
}

TEST(CrcBlock, NothingToWalk) {
  struct Case {
    const char* name;
    uint32_t pointer;  // m_dwCRCBlockPointer
    bool dropBlock;    // the block's record is missing
    bool cutEntries;   // the entries pointer's last byte lies in no record
  } cases[] = {
      {"no block pointer", 0, false, false},
      {"block pointer in no record", 0x180, false, false},
      {"count in no record", BlockImage::kPointer, true, false},
      {"entries pointer in no record", BlockImage::kPointer, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BlockImage b(2, 0, {{0x300, 0x302}}, 1);
    b.image.m_dwCRCBlockPointer = c.pointer;
    if (c.dropBlock) Punch(b.image, BlockImage::kBlock, 4);
    if (c.cutEntries) Punch(b.image, BlockImage::kBlock + 5, 1);
    EXPECT_FALSE(b.image.UpdateCrcBlock());
    for (const CProgRecord& r : b.image.m_listRecords) EXPECT_EQ(r.m_bModified, 0);
  }
  BlockImage zero(4, 1, {{0x300, 0x302, 0x12345678}}, 0);
  EXPECT_TRUE(zero.image.UpdateCrcBlock());
  EXPECT_EQ(zero.Crc(0), 0x12345678u);
}

TEST(CrcBlock, EntriesWithoutAUsableRangeGetZero) {
  BlockImage b(2, 0, {{0x1000, 0x1000, 0xAAAAAAAA}, {0x1008, 0x1004, 0xBBBBBBBB}, {0x1000, 0x1004, 0xCCCCCCCC}}, 3);
  Place(b.image, 0x1000, {1, 2, 3, 4, 5, 6, 7, 8});
  // The third entry's start pointer lies in no record; its CRC field still does.
  Punch(b.image, BlockImage::kEntries + 2 * b.EntrySize() + 4, 2);
  ASSERT_TRUE(b.image.UpdateCrcBlock());
  EXPECT_EQ(b.Crc(0), 0u);  // end equals start
  EXPECT_EQ(b.Crc(1), 0u);  // end below start
  EXPECT_EQ(b.Crc(2), 0u);  // start unreadable
}

TEST(CrcBlock, LaterEntrySeesTheNewCrcOfAnEarlierOne) {
  // The second range covers the first entry's CRC field (and stops before its own entry).
  BlockImage b(2, 0, {{0x1000, 0x1004}, {BlockImage::kEntries, BlockImage::kEntries + 12}}, 2);
  Place(b.image, 0x1000, {9, 8, 7, 6});
  ASSERT_TRUE(b.image.UpdateCrcBlock());
  EXPECT_EQ(b.Crc(0), ZlibCrc({9, 8, 7, 6}));
  EXPECT_EQ(b.Crc(1), ZlibCrc(RangeBytes(b.image, BlockImage::kEntries, 12)));
  EXPECT_NE(b.Crc(1), 0u);
}

TEST(CrcBlock, WritesMarkTheRecordsModified) {
  BlockImage b(4, 0, {{0x1000, 0x1001}}, 1);
  Place(b.image, 0x1000, {1});
  ASSERT_TRUE(b.image.UpdateCrcBlock());
  for (const CProgRecord& r : b.image.m_listRecords) EXPECT_EQ(r.m_bModified, r.m_dwAddress == BlockImage::kEntries);
}

TEST(CrcBlock, BankedPointersTakeTheirBankFromWhereTheyLie) {
  CProgParse image;
  image.m_nMachineWordSize = 2;
  image.m_bBankedMemoryModel = 1;
  image.m_dwCRCBlockPointer = 0x120100;
  Place(image, 0x120100, {0x02, 0x00});                                      // -> 0x120200
  Place(image, 0x120200, {0, 0, 0, 1, 0x03, 0x00});                          // count 1, entries -> 0x120300
  Place(image, 0x120300, {0, 0, 0, 0, 0x10, 0x00, 0x10, 0x02, 0, 0, 0, 0});  // 0x121000 .. 0x121002
  Place(image, 0x121000, {0xAB, 0xCD});
  ASSERT_TRUE(image.UpdateCrcBlock());
  EXPECT_EQ(GetValue(Bytes(image, 0x120308, 4), true), ZlibCrc({0xAB, 0xCD}));
}

TEST(CrcBlock, DamagedCountStopsAtTheEndOfTheImage) {
  // The entries are the last bytes of the image; a count of four billion must neither take
  // forever nor change anything but the real entries.
  for (const uint32_t count : {2u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(count);
    BlockImage b(4, 1, {{0x10, 0x20}, {0x14, 0x18}}, count);
    Place(b.image, 0x10, std::vector<uint8_t>(0x10, 0x3C));
    ASSERT_TRUE(b.image.UpdateCrcBlock());
    EXPECT_EQ(b.Crc(0), ZlibCrc(std::vector<uint8_t>(0x10, 0x3C)));
    EXPECT_EQ(b.Crc(1), ZlibCrc(std::vector<uint8_t>(4, 0x3C)));
  }
}

// For random images and blocks, every entry gets zlib's CRC of its range as the image holds it.
TEST(CrcBlock, PropertySameAsZlib) {
  std::mt19937 rng(99);
  for (int round = 0; round < 30; ++round) {
    const auto w = static_cast<unsigned>(2 + rng() % 3);
    const uint8_t endian = static_cast<uint8_t>(rng() % 2);
    std::vector<Entry> entries(1 + rng() % 8);
    for (Entry& e : entries) {
      e.start = 0x1000 + static_cast<uint32_t>(rng() % 0x800);
      e.end = e.start + static_cast<uint32_t>(rng() % 0x300);
    }
    BlockImage b(w, endian, entries, static_cast<uint32_t>(entries.size()));
    for (int i = 0; i < 20; ++i) {
      std::vector<uint8_t> data(1 + rng() % 64);
      for (uint8_t& x : data) x = static_cast<uint8_t>(rng());
      Place(b.image, 0x1000 + static_cast<uint32_t>(rng() % 0xA00), data);
    }
    ASSERT_TRUE(b.image.UpdateCrcBlock());
    for (size_t i = 0; i < entries.size(); ++i) {
      const Entry& e = entries[i];
      EXPECT_EQ(b.Crc(i), e.end == e.start ? 0u : ZlibCrc(RangeBytes(b.image, e.start, e.end - e.start)))
          << "round " << round << " entry " << i;
    }
  }
}

}  // namespace
