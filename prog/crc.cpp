// CRC-32 of buffers and image ranges, and the image's CRC block.
#include "prog/crc.h"

#include <algorithm>
#include <new>
#include <vector>

#include "prog/image_ops.h"
#include "prog/prog_base.h"

namespace {

// Eight tables for taking eight bytes a step; table 0 is g_Crc32Table itself, table k advances
// an entry of table k - 1 by one more zero byte, so the values are those of the byte-wise loop.
using SliceTables = std::array<std::array<uint32_t, 256>, 8>;

constexpr SliceTables MakeSliceTables() {
  SliceTables t{};
  t[0] = g_Crc32Table;
  for (size_t k = 1; k < t.size(); ++k)
    for (size_t i = 0; i < 256; ++i) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
  return t;
}

alignas(64) constexpr SliceTables kSlices = MakeSliceTables();

inline uint32_t Load32LE(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// The register update, without the inversions at the start and the end.
uint32_t UpdateCrc32(uint32_t crc, const uint8_t* p, size_t length) {
  for (; length >= 8; length -= 8, p += 8) {
    const uint32_t lo = Load32LE(p) ^ crc;
    const uint32_t hi = Load32LE(p + 4);
    // The lookups of the bytes that do not depend on the register go first, off the critical path.
    const uint32_t ahead =
        kSlices[3][hi & 0xFF] ^ kSlices[2][(hi >> 8) & 0xFF] ^ kSlices[1][(hi >> 16) & 0xFF] ^ kSlices[0][hi >> 24];
    crc = ahead ^ (kSlices[7][lo & 0xFF] ^ kSlices[6][(lo >> 8) & 0xFF]) ^
          (kSlices[5][(lo >> 16) & 0xFF] ^ kSlices[4][lo >> 24]);
  }
  for (; length > 0; --length, ++p) crc = (crc >> 8) ^ g_Crc32Table[(crc ^ *p) & 0xFF];
  return crc;
}

// Multiplication modulo the CRC polynomial, in the register's bit order (bit 31 is x^0).
constexpr uint32_t MultModP(uint32_t a, uint32_t b) {
  uint32_t product = 0;
  for (uint32_t m = 1u << 31; m != 0; m >>= 1) {
    if (a & m) product ^= b;
    b = (b & 1) ? (b >> 1) ^ 0xEDB88320u : b >> 1;
  }
  return product;
}

// What a run of 0xFF bytes does to the register: it becomes shift * register + add.
struct FillRun {
  uint32_t shift;
  uint32_t add;
};

constexpr FillRun Then(FillRun first, FillRun second) {
  return {MultModP(second.shift, first.shift), MultModP(second.shift, first.add) ^ second.add};
}

// The runs of 2^k bytes; one byte shifts the register by x^8.
constexpr std::array<FillRun, 33> MakeFillRuns() {
  std::array<FillRun, 33> runs{};
  runs[0] = {0x80000000u >> 8, g_Crc32Table[0xFF]};
  for (size_t k = 1; k < runs.size(); ++k) runs[k] = Then(runs[k - 1], runs[k - 1]);
  return runs;
}

constexpr std::array<FillRun, 33> kFillRuns = MakeFillRuns();

// A run of bytes that no record holds, in steps of powers of two: a gap of gigabytes costs no
// more than a few bytes.
uint32_t UpdateCrc32Fill(uint32_t crc, uint64_t length) {
  for (size_t k = 0; length != 0 && k < kFillRuns.size(); ++k, length >>= 1)
    if (length & 1) crc = MultModP(kFillRuns[k].shift, crc) ^ kFillRuns[k].add;
  return crc;
}

// The CRC of [start, end) read straight from the records, with gaps as 0xFF, when the records
// that lie in the range do not overlap and come in ascending order; false otherwise.
bool StreamRangeCrc(const CProgRecordList& records, uint64_t start, uint64_t end, uint32_t& crc) {
  uint32_t reg = 0xFFFFFFFF;
  uint64_t done = start;
  for (const CProgRecord& r : records) {
    const uint64_t lo = std::max<uint64_t>(r.m_dwAddress, start);
    const uint64_t hi = std::min<uint64_t>(uint64_t{r.m_dwAddress} + r.m_nLength, end);
    if (lo >= hi) continue;
    if (lo < done) return false;  // an overlap or a step back: only painting gets it right
    reg = UpdateCrc32Fill(reg, lo - done);
    reg = UpdateCrc32(reg, r.m_data + (lo - r.m_dwAddress), static_cast<size_t>(hi - lo));
    done = hi;
  }
  crc = UpdateCrc32Fill(reg, end - done) ^ 0xFFFFFFFF;
  return true;
}

struct Chunk {
  uint64_t address;
  size_t order;  // place in the list
  const CProgRecord* record;
};

const CProgRecord& RecordOf(const Chunk& p) { return *p.record; }

// The CRC of [start, end) for records in any order, overlaps included, in windows of a fixed
// size: each window is painted as the flat copy would be (a later record wins), so no buffer
// the size of the range is needed.
uint32_t PaintedRangeCrc(const CProgRecordList& records, uint64_t start, uint64_t end) {
  std::vector<Chunk> chunks;
  size_t order = 0;
  for (const CProgRecord& r : records) {
    if (r.m_nLength != 0 && r.m_dwAddress < end && uint64_t{r.m_dwAddress} + r.m_nLength > start)
      chunks.push_back({r.m_dwAddress, order, &r});
    ++order;
  }
  std::sort(chunks.begin(), chunks.end(), [](const Chunk& a, const Chunk& b) { return a.address < b.address; });

  constexpr uint64_t kWindow = 64 * 1024;
  std::vector<uint8_t> window(static_cast<size_t>(std::min(kWindow, end - start)));
  std::vector<Chunk> inWindow;
  uint32_t reg = 0xFFFFFFFF;
  size_t first = 0;  // the first chunk that may still reach the window
  for (uint64_t w0 = start; w0 < end;) {
    while (first < chunks.size() && chunks[first].address + PROG_MAX_RECORD_DATA <= w0) ++first;
    if (first == chunks.size() || chunks[first].address >= end) {
      reg = UpdateCrc32Fill(reg, end - w0);
      break;
    }
    if (chunks[first].address > w0) {  // a gap: no need to paint it
      reg = UpdateCrc32Fill(reg, chunks[first].address - w0);
      w0 = chunks[first].address;
    }
    const uint64_t w1 = std::min(w0 + kWindow, end);
    inWindow.clear();
    for (size_t i = first; i < chunks.size() && chunks[i].address < w1; ++i) inWindow.push_back(chunks[i]);
    std::sort(inWindow.begin(), inWindow.end(), [](const Chunk& a, const Chunk& b) { return a.order < b.order; });
    std::fill(window.begin(), window.end(), uint8_t{0xFF});
    ForEachChunk(inWindow, w0, w1 - w0,
                 [&](size_t offset, const uint8_t* bytes, size_t n) { std::copy_n(bytes, n, window.data() + offset); });
    reg = UpdateCrc32(reg, window.data(), static_cast<size_t>(w1 - w0));
    w0 = w1;
  }
  return reg ^ 0xFFFFFFFF;
}

}  // namespace

uint32_t CalcCrc32(const uint8_t* buffer, uint32_t length) {
  return UpdateCrc32(0xFFFFFFFF, buffer, length) ^ 0xFFFFFFFF;
}

uint32_t CProgBase::GetRangeCrc(uint32_t start, uint32_t length) const {
  // The CRC is computed as the bytes come, so any range of the address space is served; an
  // empty range gives 0.
  if (length == 0 || uint64_t{start} + length > (uint64_t{1} << 32)) return 0;
  const uint64_t end = uint64_t{start} + length;
  // Most images hold their records in ascending order: they are read straight from the list.
  uint32_t crc = 0;
  if (StreamRangeCrc(m_listRecords, start, end, crc)) return crc;
  try {
    return PaintedRangeCrc(m_listRecords, start, end);
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

namespace {

// One past the highest address that the byte access can serve: the highest record end, or the
// end of an init-RAM range whose ROM copy reaches into the records.
uint64_t ReachableEnd(const CProgBase& image) {
  uint64_t recordsEnd = 0;
  for (const CProgRecord& r : image.m_listRecords)
    recordsEnd = std::max(recordsEnd, uint64_t{r.m_dwAddress} + r.m_nLength);
  uint64_t end = recordsEnd;
  for (const CInitRAMSection& s : image.m_listInitRAM) {
    if (s.m_dwROMAddress >= recordsEnd) continue;
    const uint64_t ram = s.m_dwRAMAddress;
    end = std::max(end, std::min(ram + s.m_dwLength, ram + (recordsEnd - s.m_dwROMAddress)));
  }
  return end;
}

}  // namespace

bool CProgBase::UpdateCrcBlock() {
  if (m_dwCRCBlockPointer == 0) return false;
  const bool banked = m_bBankedMemoryModel != 0;
  uint32_t block = 0;
  uint32_t count = 0;
  uint32_t entries = 0;
  if (!ReadPointer(m_dwCRCBlockPointer, block, banked)) return false;
  if (block > UINT32_MAX - 4 || !ReadLong(block, count)) return false;
  if (!ReadPointer(block + 4, entries, banked)) return false;

  const uint32_t w = m_nMachineWordSize;
  // A damaged count must not walk on past the image, nor write CRC fields there.
  const uint64_t limit = ReachableEnd(*this);
  // Field addresses past the top of the address space count as unreadable, not as address 0.
  const auto fits = [](uint64_t a) { return a <= UINT32_MAX; };
  uint64_t a = entries;
  for (uint32_t i = 0; i < count && a < limit; ++i) {
    uint32_t unused = 0;
    uint32_t start = 0;
    uint32_t end = 0;
    if (fits(a)) ReadLong(static_cast<uint32_t>(a), unused);
    a += 4;
    const bool haveStart = fits(a) && ReadPointer(static_cast<uint32_t>(a), start, banked);
    a += w;
    const bool haveEnd = fits(a) && ReadPointer(static_cast<uint32_t>(a), end, banked);
    a += w;
    // An entry without a readable range, or one that ends below its start, gets CRC 0.
    const uint32_t crc = (haveStart && haveEnd && end >= start) ? GetRangeCrc(start, end - start) : 0;
    if (fits(a)) WriteLong(static_cast<uint32_t>(a), crc);
    a += 4;
  }
  return true;
}
