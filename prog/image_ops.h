// Helpers of the whole-image operations that stand outside CProgBase.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "prog/prog_base.h"

// The largest flat buffer the image hands out or works in (256 MiB). Sizes come from record
// addresses, so a sparse image or a damaged range could otherwise ask for gigabytes; a larger
// request fails the way an exhausted heap would.
inline constexpr uint32_t kProgMaxFlatBuffer = 0x10000000;

// True for a range that the flat copies serve: not empty, not past the top of the address
// space, not above kProgMaxFlatBuffer.
inline bool IsFlatRange(uint32_t start, uint32_t length) {
  return length != 0 && length <= kProgMaxFlatBuffer && uint64_t{start} + length <= (uint64_t{1} << 32);
}

inline const CProgRecord& RecordOf(const CProgRecord& r) { return r; }
inline const CProgRecord& RecordOf(const CProgRecord* r) { return *r; }

// Hands put(offset, bytes, count) the bytes of every record (or record pointer) that lie in
// [start, start + size), offset counted from start, in the order given: a later record wins
// where records overlap.
template <class Records, class Put>
void ForEachChunk(const Records& records, uint64_t start, uint64_t size, Put put) {
  const uint64_t end = start + size;
  for (const auto& item : records) {
    const CProgRecord& r = RecordOf(item);
    const uint64_t lo = std::max<uint64_t>(r.m_dwAddress, start);
    const uint64_t hi = std::min<uint64_t>(uint64_t{r.m_dwAddress} + r.m_nLength, end);
    if (lo < hi) put(static_cast<size_t>(lo - start), r.m_data + (lo - r.m_dwAddress), static_cast<size_t>(hi - lo));
  }
}

// True when some byte of mask[start .. start + count - 1] equals 1.
bool AnyMarked(const uint8_t* mask, uint32_t start, uint16_t count);
