// Whole-image operations: re-blocking, moving, range saves, flat copies, walks and pages.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "prog/image_ops.h"
#include "prog/prog_base.h"
#include "protect/codec.h"
#include "support/prog_text.h"
#include "support/records.h"
#include "support/ui_recorder.h"

// ---- allocation failure on demand: once armed, the n-th allocation throws. Every allocation
// is handed on to the operator new that would otherwise serve it, so the sanitizers keep
// watching them.
namespace {
std::atomic<long> g_allocationsLeft{-1};  // -1: never fail
}  // namespace

void* operator new(std::size_t n) {
  using New = void* (*)(std::size_t);
  static const New next = reinterpret_cast<New>(dlsym(RTLD_NEXT, "_Znwm"));
  if (g_allocationsLeft.load() >= 0 && g_allocationsLeft.fetch_sub(1) == 0) throw std::bad_alloc();
  return next(n);
}

namespace {

// n bytes counting up from first.
std::vector<uint8_t> Seq(size_t n, uint8_t first = 0) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(first + i);
  return v;
}

struct Shape {
  uint32_t address;
  unsigned length;
  uint8_t type;
  bool operator==(const Shape&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Shape& s) {
  return os << "{0x" << std::hex << s.address << std::dec << ", " << s.length << ", S" << int{s.type} << "}";
}

std::vector<Shape> Shapes(const CProgRecordList& list) {
  std::vector<Shape> out;
  for (const CProgRecord& r : list) out.push_back({r.m_dwAddress, r.m_nLength, r.m_nRecordType});
  return out;
}

std::vector<uint8_t> Data(const CProgRecord& r) { return {r.m_data, r.m_data + r.m_nLength}; }

// Whole records, all 64 data bytes and the mark included.
bool Identical(const CProgRecordList& a, const CProgRecordList& b) {
  if (a.size() != b.size()) return false;
  for (auto i = a.begin(), j = b.begin(); i != a.end(); ++i, ++j)
    if (i->m_dwAddress != j->m_dwAddress || i->m_nLength != j->m_nLength || i->m_nRecordType != j->m_nRecordType ||
        i->m_bModified != j->m_bModified || std::memcmp(i->m_data, j->m_data, PROG_MAX_RECORD_DATA) != 0)
      return false;
  return true;
}

// The flat image as a vector; empty when there is none.
std::vector<uint8_t> Flat(const CProgBase& image, uint8_t fill) {
  uint8_t* p = nullptr;
  const uint32_t n = image.GetFlatImage(&p, fill);
  std::vector<uint8_t> v(p, p + n);
  FreeBuffer(p);
  return v;
}

std::vector<uint8_t> Range(const CProgBase& image, uint8_t fill, uint32_t start, uint32_t length, bool alt = false) {
  uint8_t* p = nullptr;
  const uint32_t n =
      alt ? image.GetImageRangeAltEncoded(&p, fill, start, length) : image.GetImageRange(&p, fill, start, length);
  std::vector<uint8_t> v(p, p + n);
  FreeBuffer(p);
  return v;
}

// Runs op on an image of these records with its first allocation failing, then its second, and
// so on until op gets through; after every failure the image must hold the records as before
// and no page. The image of the run that got through goes to done.
template <class Op, class Done>
void FailEachAllocationInTurn(const CProgRecordList& records, Op op, Done done) {
  for (long fail = 0;; ++fail) {
    CProgParse image;
    image.m_listRecords = records;
    bool threw = false;
    g_allocationsLeft = fail;
    try {
      op(image);
    } catch (const std::bad_alloc&) {
      threw = true;
    }
    g_allocationsLeft = -1;
    if (!threw) {
      EXPECT_GT(fail, 0) << "the operation allocated nothing";
      done(image);
      return;
    }
    EXPECT_TRUE(Identical(image.m_listRecords, records)) << "allocation " << fail;
    EXPECT_TRUE(image.m_listPages.empty()) << "allocation " << fail;
  }
}

// ---------------------------------------------------------------- Reblock

TEST(Reblock, AllTo16ByteRecords) {
  CProgParse image;
  image.m_listRecords = {Rec(0x1000, Seq(20, 0x10), 1), Rec(0x1018, Seq(4, 0xA0), 2)};
  ASSERT_TRUE(image.FindRecord(0x1000));
  ASSERT_TRUE(image.ReblockAll(16, 0xFF));
  EXPECT_TRUE(image.CursorIsNone());
  ASSERT_EQ(Shapes(image.m_listRecords), (std::vector<Shape>{{0x1000, 16, 3}, {0x1010, 16, 3}}));
  EXPECT_EQ(Data(image.m_listRecords.front()), Seq(16, 0x10));
  EXPECT_EQ(Data(image.m_listRecords.back()), (std::vector<uint8_t>{0x20, 0x21, 0x22, 0x23, 0xFF, 0xFF, 0xFF, 0xFF,
                                                                    0xA0, 0xA1, 0xA2, 0xA3, 0xFF, 0xFF, 0xFF, 0xFF}));
  for (const CProgRecord& r : image.m_listRecords) {
    EXPECT_EQ(r.m_bModified, 0);
    for (int i = 16; i < PROG_MAX_RECORD_DATA; ++i) EXPECT_EQ(r.m_data[i], 0);
  }
}

TEST(Reblock, RecordLengthOutOfRangeChangesNothing) {
  for (const uint8_t r : {uint8_t{0}, uint8_t{65}, uint8_t{255}}) {
    CProgParse image;
    image.m_listRecords = {Rec(0x1000, Seq(20))};
    const CProgRecordList before = image.m_listRecords;
    ASSERT_TRUE(image.FindRecord(0x1000));
    EXPECT_FALSE(image.ReblockAll(r, 0xFF)) << int{r};
    EXPECT_TRUE(Identical(image.m_listRecords, before));
    EXPECT_FALSE(image.CursorIsNone());
  }
  CProgParse image;
  image.m_listRecords = {Rec(0x1000, Seq(20))};
  EXPECT_TRUE(image.ReblockAll(64, 0xFF));
  EXPECT_EQ(Shapes(image.m_listRecords), (std::vector<Shape>{{0x1000, 64, 3}}));
}

TEST(Reblock, RangeThatNoRecordTouchesLeavesTheList) {
  CProgParse image;
  image.m_listRecords = {Rec(0x2000, Seq(8), 1), Rec(0x1000, Seq(8), 2)};
  const CProgRecordList before = image.m_listRecords;
  ASSERT_TRUE(image.FindRecord(0x2000));
  EXPECT_TRUE(image.Reblock(16, 0x1800, 0x100, 0));
  EXPECT_TRUE(Identical(image.m_listRecords, before));
  EXPECT_FALSE(image.CursorIsNone());
  // From address 0 the rebuild runs over an empty range: same records, cursor cleared.
  EXPECT_TRUE(image.Reblock(16, 0, 0x100, 0));
  EXPECT_TRUE(Identical(image.m_listRecords, before));
  EXPECT_TRUE(image.CursorIsNone());
}

// Cuts at the range's edges, with range [0x1010, 0x1030) and 16-byte records.
TEST(Reblock, RangeEdgesCutRecords) {
  struct Case {
    const char* name;
    CProgRecordList records;
    std::vector<Shape> after;
  };
  const Case cases[] = {
      {"start inside a record", {Rec(0x1008, Seq(16), 1)}, {{0x1010, 16, 3}, {0x1008, 8, 1}}},
      {"end inside a record", {Rec(0x1028, Seq(16), 2)}, {{0x1020, 16, 3}, {0x1030, 8, 2}}},
      {"a record over the whole range",
       {Rec(0x1000, Seq(64), 1)},
       {{0x1010, 16, 3}, {0x1020, 16, 3}, {0x1000, 16, 1}, {0x1030, 16, 1}}},
      {"outside records keep their order after the rebuilt ones",
       {Rec(0x2000, Seq(4), 1), Rec(0x1012, Seq(2)), Rec(0x0800, Seq(4), 2)},
       {{0x1010, 16, 3}, {0x2000, 4, 1}, {0x0800, 4, 2}}},
      {"a record that ends at the range's start is not cut",
       {Rec(0x1000, Seq(16), 1), Rec(0x1030, Seq(4), 1)},
       {{0x1000, 16, 1}, {0x1030, 4, 1}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CProgParse image;
    image.m_listRecords = c.records;
    for (CProgRecord& r : image.m_listRecords) r.m_bModified = 1;
    const std::vector<uint8_t> flatBefore = Flat(image, 0xEE);
    ASSERT_TRUE(image.Reblock(16, 0x1010, 0x20, 0xEE));
    EXPECT_EQ(Shapes(image.m_listRecords), c.after);
    // The cut chunks keep their mark; the rebuilt records start unmarked.
    for (const CProgRecord& r : image.m_listRecords) EXPECT_EQ(r.m_bModified, r.m_nRecordType == 3 ? 0 : 1);
    const std::vector<uint8_t> flatAfter = Flat(image, 0xEE);
    ASSERT_GE(flatAfter.size(), flatBefore.size());
    EXPECT_TRUE(std::equal(flatBefore.begin(), flatBefore.end(), flatAfter.begin()));
  }
}

TEST(Reblock, CutOffTailIsARecordOfItsOwn) {
  CProgParse image;
  CProgRecord r = Rec(0x1028, Seq(16, 0x40), 2);
  image.m_listRecords = {r};
  ASSERT_TRUE(image.Reblock(16, 0x1010, 0x20, 0));
  const CProgRecord& tail = image.m_listRecords.back();
  EXPECT_EQ(Data(tail), Seq(8, 0x48));
  for (int i = 8; i < PROG_MAX_RECORD_DATA; ++i) EXPECT_EQ(tail.m_data[i], 0);
}

TEST(Reblock, LastSliceIsPaddedWithTheFillByte) {
  // L = 20 with r = 16: one whole slice and one more of 16 bytes, the last 12 the fill byte.
  CProgParse image;
  image.m_listRecords = {Rec(0x100, Seq(20))};
  ASSERT_TRUE(image.Reblock(16, 0x100, 0x1000, 0x5A));
  ASSERT_EQ(Shapes(image.m_listRecords), (std::vector<Shape>{{0x100, 16, 3}, {0x110, 16, 3}}));
  std::vector<uint8_t> last = Seq(4, 16);
  last.resize(16, 0x5A);
  EXPECT_EQ(Data(image.m_listRecords.back()), last);

  // L a multiple of r: no extra record.
  CProgParse exact;
  exact.m_listRecords = {Rec(0x100, Seq(32))};
  ASSERT_TRUE(exact.Reblock(16, 0x100, 0x1000, 0x5A));
  EXPECT_EQ(exact.m_listRecords.size(), 2u);
}

TEST(Reblock, LaterRecordWinsAndEmptySlicesMakeNoRecord) {
  CProgParse image;
  image.m_listRecords = {Rec(0x00, Seq(8, 0x10)), Rec(0x04, {0xAA, 0xBB}), Rec(0x40, {0x77}), Rec(0x20, {})};
  ASSERT_TRUE(image.ReblockAll(8, 0xFF));
  ASSERT_EQ(Shapes(image.m_listRecords), (std::vector<Shape>{{0x00, 8, 3}, {0x40, 8, 3}}));
  EXPECT_EQ(Data(image.m_listRecords.front()), (std::vector<uint8_t>{0x10, 0x11, 0x12, 0x13, 0xAA, 0xBB, 0x16, 0x17}));
}

TEST(Reblock, SizesThatWouldNeedGigabytesFailWithNothingChanged) {
  struct Case {
    const char* name;
    uint32_t start;
    uint32_t length;
  } cases[] = {
      {"a sparse image", 0, 0xFFFFFFFF},
      {"a range past the top of the address space", 0x10, 0xFFFFFFFF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CProgParse image;
    image.m_listRecords = {Rec(0x10, Seq(4)), Rec(0xF0000000, Seq(4))};
    const CProgRecordList before = image.m_listRecords;
    EXPECT_FALSE(image.Reblock(16, c.start, c.length, 0xFF));
    EXPECT_TRUE(Identical(image.m_listRecords, before));
  }
}

TEST(Reblock, RecordAtTheTopOfTheAddressSpace) {
  CProgParse image;
  image.m_listRecords = {Rec(0xFFFFFFF8, Seq(8))};
  ASSERT_TRUE(image.Reblock(4, 0xFFFFFFF0, 0x10, 0xFF));
  EXPECT_EQ(Shapes(image.m_listRecords), (std::vector<Shape>{{0xFFFFFFF8, 4, 3}, {0xFFFFFFFC, 4, 3}}));
}

TEST(Reblock, RunningOutOfMemoryLosesNothing) {
  // Cut at both ends, cut at the end, left alone.
  const CProgRecordList records = {Rec(0x0FF0, Seq(64), 1), Rec(0x1018, Seq(16, 0x80), 2), Rec(0x2000, Seq(4))};
  FailEachAllocationInTurn(
      records, [](CProgBase& image) { EXPECT_TRUE(image.Reblock(16, 0x1000, 0x20, 0xFF)); },
      [](const CProgBase& image) {
        EXPECT_EQ(
            Shapes(image.m_listRecords),
            (std::vector<Shape>{
                {0x1000, 16, 3}, {0x1010, 16, 3}, {0x0FF0, 16, 1}, {0x1020, 16, 1}, {0x1020, 8, 2}, {0x2000, 4, 3}}));
      });
}

// For random images and every record length, ReblockAll keeps every byte at its address.
TEST(Reblock, PropertyEveryByteStaysAtItsAddress) {
  std::mt19937 rng(12345);
  for (int round = 0; round < 40; ++round) {
    CProgParse image;
    const int count = 1 + static_cast<int>(rng() % 40);
    for (int i = 0; i < count; ++i) {
      std::vector<uint8_t> data(rng() % 65);
      for (uint8_t& b : data) b = static_cast<uint8_t>(rng());
      image.m_listRecords.push_back(
          Rec(static_cast<uint32_t>(rng() % 0x800), data, static_cast<uint8_t>(1 + rng() % 3)));
    }
    const uint8_t fill = static_cast<uint8_t>(rng());
    const std::vector<uint8_t> before = Flat(image, fill);
    for (unsigned r = 1; r <= 64; ++r) {
      SCOPED_TRACE(testing::Message() << "round " << round << " r " << r);
      CProgParse copy(image);
      ASSERT_TRUE(copy.ReblockAll(static_cast<uint8_t>(r), fill));
      const std::vector<uint8_t> after = Flat(copy, fill);
      // Past the shorter of the two flat images the longer one holds fill bytes only.
      ASSERT_LT(after.size(), before.size() + r);
      const size_t n = std::max(before.size(), after.size());
      size_t differing = 0;
      for (size_t i = 0; i < n; ++i) {
        const uint8_t b = i < before.size() ? before[i] : fill;
        const uint8_t a = i < after.size() ? after[i] : fill;
        differing += a != b;
      }
      EXPECT_EQ(differing, 0u);
      uint32_t last = 0;
      bool first = true;
      for (const CProgRecord& rec : copy.m_listRecords) {
        EXPECT_EQ(rec.m_nLength, r);
        EXPECT_EQ(rec.m_nRecordType, 3);
        EXPECT_EQ(rec.m_dwAddress % r, 0u);
        EXPECT_TRUE(first || rec.m_dwAddress > last);
        last = rec.m_dwAddress;
        first = false;
      }
    }
  }
}

TEST(AnyMarked, FindsAOneInTheStretchOnly) {
  const uint8_t mask[] = {0, 0, 1, 0, 2, 0};
  EXPECT_TRUE(AnyMarked(mask, 0, 3));
  EXPECT_TRUE(AnyMarked(mask, 2, 1));
  EXPECT_FALSE(AnyMarked(mask, 0, 2));
  EXPECT_FALSE(AnyMarked(mask, 3, 3));  // 2 is not a mark
  EXPECT_FALSE(AnyMarked(mask, 2, 0));
}

// ---------------------------------------------------------------- MoveRange

TEST(MoveRange, MovesByFirstAddressAndTurnsS1IntoS2) {
  CProgParse image;
  image.m_listRecords = {Rec(0x8F0, Seq(32), 1), Rec(0x900, Seq(4), 1), Rec(0x7F8, Seq(16), 3), Rec(0x800, Seq(4), 2)};
  ASSERT_TRUE(image.FindRecord(0x900));
  ASSERT_TRUE(image.MoveRange(0x800, 0x900, 0xA00));
  EXPECT_EQ(Shapes(image.m_listRecords),
            (std::vector<Shape>{{0xAF0, 32, 2}, {0x900, 4, 2}, {0x7F8, 16, 3}, {0xA00, 4, 2}}));
  EXPECT_EQ(Data(image.m_listRecords.front()), Seq(32));
  EXPECT_FALSE(image.CursorIsNone());
}

TEST(MoveRange, RefusesToMoveARecordPastTheTop) {
  CProgParse image;
  image.m_listRecords = {Rec(0x800, Seq(16), 1), Rec(0x8F8, Seq(16), 1)};
  const CProgRecordList before = image.m_listRecords;
  // 0x8F8 would land at 0xFFFFFFF8 and its last 8 bytes past the top.
  EXPECT_FALSE(image.MoveRange(0x800, 0x900, 0xFFFFFF00));
  EXPECT_TRUE(Identical(image.m_listRecords, before));
  // A record that ends exactly at the top moves.
  EXPECT_TRUE(image.MoveRange(0x800, 0x900, 0xFFFFFEF8));
  EXPECT_EQ(image.m_listRecords.back().m_dwAddress, 0xFFFFFFF0u);
}

TEST(MoveRange, ARecordLandingWhollyPastTheTopWrapsIntact) {
  CProgParse image;
  image.m_listRecords = {Rec(0x2000, Seq(16), 1)};
  EXPECT_TRUE(image.MoveRange(0x1000, 0x3000, 0xFFFFF000));  // 0xFFFFF000 + 0x1000 wraps to 0
  EXPECT_EQ(Shapes(image.m_listRecords), (std::vector<Shape>{{0x0, 16, 2}}));
  EXPECT_EQ(Data(image.m_listRecords.front()), Seq(16));
}

// ---------------------------------------------------------------- range saves

class RangeSave : public testing::Test {
 protected:
  void SetUp() override {
    m_dir = std::filesystem::temp_directory_path() /
            ("tessary_range_save_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(m_dir);
    m_image.m_listRecords = {Rec(0x2000, Seq(4, 0x20)), Rec(0x0FFF, Seq(4, 0x0F)), Rec(0x1000, Seq(4, 0x10)),
                             Rec(0x1001, Seq(2, 0x11))};
  }
  void TearDown() override { std::filesystem::remove_all(m_dir); }

  // The records of the saved file.
  std::vector<Shape> Saved() {
    std::ifstream in(m_dir / "part.sr", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    CProgParse back;
    LoadText(back, text.str());
    return Shapes(back.m_listRecords);
  }

  std::filesystem::path m_dir;
  CProgParse m_image;
  UiRecorder m_ui;
};

TEST_F(RangeSave, SavesByFirstAddressAndPutsEverythingBack) {
  const CProgRecordList before = m_image.m_listRecords;
  ASSERT_TRUE(m_image.FindRecord(0x2000));
  EXPECT_TRUE(m_image.SaveRange(0x1000, 0x1000, (m_dir / "part.sr").string(), "lead", true));
  EXPECT_EQ(Saved(), (std::vector<Shape>{{0x1000, 4, 3}}));
  EXPECT_TRUE(Identical(m_image.m_listRecords, before));
  EXPECT_TRUE(m_image.CursorIsNone());
  uint8_t bytes[4];
  EXPECT_TRUE(m_image.GetBytes(0x0FFF, bytes, 4));
  EXPECT_TRUE(m_image.GetBytes(0x2000, bytes, 4));
}

TEST_F(RangeSave, ExcludingSavesTheOthers) {
  const CProgRecordList before = m_image.m_listRecords;
  EXPECT_TRUE(m_image.SaveExcludingRange(0x1000, 0x1000, (m_dir / "part.sr").string(), nullptr, true));
  EXPECT_EQ(Saved(), (std::vector<Shape>{{0x2000, 4, 3}, {0x0FFF, 4, 3}, {0x1001, 2, 3}}));
  EXPECT_TRUE(Identical(m_image.m_listRecords, before));
}

TEST_F(RangeSave, AFailedSaveStillRestoresTheList) {
  const CProgRecordList before = m_image.m_listRecords;
  EXPECT_TRUE(m_image.SaveRange(0, 0xFFFFFFFF, (m_dir / "no such folder" / "part.sr").string(), nullptr, true));
  EXPECT_TRUE(Identical(m_image.m_listRecords, before));
}

// ---------------------------------------------------------------- lengths and flat copies

TEST(UsedLength, HighestEndOfTheRecordsWhollyInside) {
  CProgParse image;
  image.m_listRecords = {Rec(0x1000, Seq(16)), Rec(0x10F8, Seq(16)), Rec(0x0FF0, Seq(32))};
  struct Case {
    uint32_t start, limit, expected;
  } cases[] = {
      {0x1000, 0x100, 16},                                    // 0x10F8 reaches past 0x1100
      {0x1000, 0x108, 0x108},                                 // now it fits
      {0x1100, 0x100, 0},                                     // nothing begins there
      {0x0000, 0x2000, 0x1108}, {0xFFFFFF00, 0xFFFFFFFF, 0},  // the limit passes the top without wrapping
  };
  for (const Case& c : cases) EXPECT_EQ(image.GetUsedLength(c.start, c.limit), c.expected) << std::hex << c.start;
}

TEST(FlatImage, StartsAtAddressZeroAndLaterRecordsWin) {
  CProgParse image;
  image.m_listRecords = {Rec(4, {1, 2, 3}), Rec(5, {9})};
  EXPECT_EQ(Flat(image, 0xEE), (std::vector<uint8_t>{0xEE, 0xEE, 0xEE, 0xEE, 1, 9, 3}));
}

TEST(FlatImage, NothingForAnEmptyOrTooLargeImage) {
  struct Case {
    const char* name;
    CProgRecordList records;
  };
  const Case cases[] = {
      {"no records", {}},
      {"only empty records", {Rec(0, {})}},
      {"a sparse image", {Rec(0, {1}), Rec(0xF0000000, {1})}},
      {"a record that ends at the top", {Rec(0xFFFFFFFC, {1, 2, 3, 4})}},
  };
  for (const Case& c : cases) {
    CProgParse image;
    image.m_listRecords = c.records;
    uint8_t sentinel = 0;
    uint8_t* p = &sentinel;
    EXPECT_EQ(image.GetFlatImage(&p, 0), 0u) << c.name;
    EXPECT_EQ(p, &sentinel) << c.name;
  }
}

TEST(ImageRange, ClipsRecordsToTheRange) {
  struct Case {
    const char* name;
    CProgRecordList records;
    uint32_t start, length;
    std::vector<uint8_t> expected;
  };
  const Case cases[] = {
      {"inside one record", {Rec(0x1000, Seq(16))}, 0x1004, 8, Seq(8, 4)},
      {"a record that begins inside",
       {Rec(0x1008, {0xA, 0xB})},
       0x1004,
       8,
       {0xFF, 0xFF, 0xFF, 0xFF, 0xA, 0xB, 0xFF, 0xFF}},
      {"a record that runs past the end", {Rec(0x1006, Seq(8))}, 0x1004, 4, {0xFF, 0xFF, 0, 1}},
      {"later records win", {Rec(0x10, {1, 1, 1}), Rec(0x11, {2})}, 0x10, 3, {1, 2, 1}},
      {"the last byte of the address space", {Rec(0xFFFFFFFC, {1, 2, 3, 4})}, 0xFFFFFFFE, 2, {3, 4}},
  };
  for (const Case& c : cases) {
    CProgParse image;
    image.m_listRecords = c.records;
    EXPECT_EQ(Range(image, 0xFF, c.start, c.length), c.expected) << c.name;
  }
}

TEST(ImageRange, NothingForAnEmptyOrUnsupportedRange) {
  CProgParse image;
  image.m_listRecords = {Rec(0, {1})};
  struct Case {
    uint32_t start, length;
  } cases[] = {{0, 0}, {0xFFFFFFFF, 2}, {0x10, 0xFFFFFFFF}, {0, kProgMaxFlatBuffer + 1}};
  for (const Case& c : cases) {
    uint8_t sentinel = 0;
    uint8_t* p = &sentinel;
    EXPECT_EQ(image.GetImageRange(&p, 0, c.start, c.length), 0u);
    EXPECT_EQ(image.GetImageRangeAltEncoded(&p, 0, c.start, c.length), 0u);
    EXPECT_EQ(p, &sentinel);
  }
}

TEST(ImageRange, AltEncodedMapsRecordBytesOnceAndNotTheFill) {
  for (const int32_t fileType : {0, 1}) {
    CProgParse image;
    image.m_nFileType = fileType;
    image.m_listRecords = {Rec(0x10, Seq(4, 0x30))};
    const std::vector<uint8_t> first = Range(image, 0x77, 0x0E, 8, true);
    EXPECT_EQ(Range(image, 0x77, 0x0E, 8, true), first);
    std::vector<uint8_t> expected{0x77, 0x77};
    for (uint8_t b : Seq(4, 0x30)) expected.push_back(image.AltEncodeByte(b));
    expected.insert(expected.end(), {0x77, 0x77});
    EXPECT_EQ(first, expected);
    EXPECT_EQ(Data(image.m_listRecords.front()), Seq(4, 0x30));
  }
}

// ---------------------------------------------------------------- walks and pages

TEST(Walks, VisitRecordsAndPagesInOrder) {
  CProgParse image;
  image.m_listRecords = {Rec(1, {1}), Rec(2, {2})};
  image.m_listPages.resize(3);
  std::vector<uint32_t> addresses;
  for (RecordPos pos = image.GetFirstRecordPosition(); pos != image.m_listRecords.end();)
    addresses.push_back(image.GetNextRecord(pos).m_dwAddress);
  EXPECT_EQ(addresses, (std::vector<uint32_t>{1, 2}));
  int pages = 0;
  for (CProgBase::PagePos pos = image.GetFirstPagePosition(); pos != image.m_listPages.end(); image.GetNextPage(pos))
    ++pages;
  EXPECT_EQ(pages, 3);
  CProgParse empty;
  EXPECT_EQ(empty.GetFirstRecordPosition(), empty.m_listRecords.end());
  EXPECT_EQ(empty.GetFirstPagePosition(), empty.m_listPages.end());
}

std::vector<std::vector<uint32_t>> PageAddresses(const CProgBase& image) {
  std::vector<std::vector<uint32_t>> out;
  for (const CMultiProgRecord& page : image.m_listPages) {
    out.emplace_back();
    for (const CProgRecord& r : page.m_listRecords) out.back().push_back(r.m_dwAddress);
  }
  return out;
}

TEST(SplitIntoPages, FourPages) {
  CProgParse image;
  image.m_listRecords = {Rec(0x1000, {1}), Rec(0x1040, {2}), Rec(0x2080, {3}), Rec(0x3001, {4})};
  image.m_listPages.resize(1);  // a page already held stays first
  ASSERT_TRUE(image.FindRecord(0x1040));
  ASSERT_TRUE(image.SplitIntoPages(0, 0xFFFFFFFF, 0x100, 0x40));
  EXPECT_TRUE(image.m_listRecords.empty());
  EXPECT_TRUE(image.CursorIsNone());
  EXPECT_EQ(PageAddresses(image), (std::vector<std::vector<uint32_t>>{{}, {0x1000, 0x3001}, {0x1040}, {0x2080}, {}}));
  EXPECT_EQ(image.GetRecordCount(), 4);
}

TEST(SplitIntoPages, RecordsOutsideTheBoundsStay) {
  CProgParse image;
  image.m_listRecords = {Rec(0x0FFF, {1}), Rec(0x1000, {2}), Rec(0x2000, {3}), Rec(0x2001, {4})};
  ASSERT_TRUE(image.SplitIntoPages(0x1000, 0x2000, 0x10, 8));
  EXPECT_EQ(Shapes(image.m_listRecords), (std::vector<Shape>{{0x0FFF, 1, 3}, {0x2001, 1, 3}}));
  EXPECT_EQ(PageAddresses(image), (std::vector<std::vector<uint32_t>>{{0x1000, 0x2000}, {}}));
}

TEST(SplitIntoPages, RefusesWithNothingChanged) {
  struct Case {
    const char* name;
    bool records;
    uint32_t pageSize;
    uint8_t divisor;
  } cases[] = {
      {"no records", false, 0x100, 0x40},
      {"divisor 0", true, 0x100, 0},
      {"page size 0", true, 0, 1},
      {"page size not a power of two", true, 0x180, 0x40},
      {"divisor does not divide the page size", true, 0x100, 0x30},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CProgParse image;
    if (c.records) image.m_listRecords = {Rec(0x1000, {1}), Rec(0x10FF, {2})};
    const CProgRecordList before = image.m_listRecords;
    EXPECT_FALSE(image.SplitIntoPages(0, 0xFFFFFFFF, c.pageSize, c.divisor));
    EXPECT_TRUE(Identical(image.m_listRecords, before));
    EXPECT_TRUE(image.m_listPages.empty());
  }
}

TEST(SplitIntoPages, RunningOutOfMemoryLosesNothing) {
  const CProgRecordList records = {Rec(0x1000, {1}), Rec(0x1040, {2}), Rec(0x2080, {3})};
  FailEachAllocationInTurn(
      records, [](CProgBase& image) { EXPECT_TRUE(image.SplitIntoPages(0, 0xFFFFFFFF, 0x100, 0x40)); },
      [](const CProgBase& image) { EXPECT_EQ(image.GetPageRecordCount(), 3); });
}

}  // namespace
