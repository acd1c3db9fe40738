// CRC-32 of buffers and image ranges, and the image's CRC block.
#include "prog/crc.h"

#include <algorithm>

#include "prog/image_ops.h"
#include "prog/prog_base.h"
#include "protect/codec.h"

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
    const uint32_t ahead = kSlices[3][hi & 0xFF] ^ kSlices[2][(hi >> 8) & 0xFF] ^ kSlices[1][(hi >> 16) & 0xFF] ^
                           kSlices[0][hi >> 24];
    crc = ahead ^ (kSlices[7][lo & 0xFF] ^ kSlices[6][(lo >> 8) & 0xFF]) ^
          (kSlices[5][(lo >> 16) & 0xFF] ^ kSlices[4][lo >> 24]);
  }
  for (; length > 0; --length, ++p) crc = (crc >> 8) ^ g_Crc32Table[(crc ^ *p) & 0xFF];
  return crc;
}

// A run of bytes that no record holds.
uint32_t UpdateCrc32Fill(uint32_t crc, uint64_t length) {
  static constexpr auto kFill = [] {
    std::array<uint8_t, 4096> a{};
    a.fill(0xFF);
    return a;
  }();
  for (; length > 0;) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(length, kFill.size()));
    crc = UpdateCrc32(crc, kFill.data(), n);
    length -= n;
  }
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
    if (lo < done) return false;  // an overlap or a step back: only the flat copy gets it right
    reg = UpdateCrc32Fill(reg, lo - done);
    reg = UpdateCrc32(reg, r.m_data + (lo - r.m_dwAddress), static_cast<size_t>(hi - lo));
    done = hi;
  }
  crc = UpdateCrc32Fill(reg, end - done) ^ 0xFFFFFFFF;
  return true;
}

}  // namespace

uint32_t CalcCrc32(const uint8_t* buffer, uint32_t length) {
  return UpdateCrc32(0xFFFFFFFF, buffer, length) ^ 0xFFFFFFFF;
}

uint32_t CProgBase::GetRangeCrc(uint32_t start, uint32_t length) const {
  // The ranges that the flat copy refuses give 0 here too.
  if (!IsFlatRange(start, length)) return 0;
  // Most images hold their records in ascending order: their CRC needs no copy.
  uint32_t crc = 0;
  if (StreamRangeCrc(m_listRecords, start, uint64_t{start} + length, crc)) return crc;
  uint8_t* buffer = nullptr;
  const uint32_t n = GetImageRange(&buffer, 0xFF, start, length);
  if (n == 0) return 0;
  crc = CalcCrc32(buffer, n);
  FreeBuffer(buffer);
  return crc;
}

namespace {

// One past the highest address that the byte access can serve: the highest record end, or the
// end of an init-RAM range whose ROM copy reaches into the records.
uint64_t ReachableEnd(const CProgBase& image) {
  uint64_t recordsEnd = 0;
  for (const CProgRecord& r : image.m_listRecords) recordsEnd = std::max(recordsEnd, uint64_t{r.m_dwAddress} + r.m_nLength);
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
