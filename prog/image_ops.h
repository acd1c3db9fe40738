// Helpers of the whole-image operations that stand outside CProgBase.
#pragma once

#include <cstdint>

// The largest flat buffer the image hands out or works in (256 MiB). Sizes come from record
// addresses, so a sparse image or a damaged range could otherwise ask for gigabytes; a larger
// request fails the way an exhausted heap would.
inline constexpr uint32_t PROG_MAX_FLAT_BUFFER = 0x10000000;

// True for a range that the flat copies (and the range CRC) serve: not empty, not past the top
// of the address space, not above PROG_MAX_FLAT_BUFFER.
inline bool IsFlatRange(uint32_t start, uint32_t length) {
  return length != 0 && length <= PROG_MAX_FLAT_BUFFER && uint64_t{start} + length <= (uint64_t{1} << 32);
}

// True when some byte of mask[start .. start + count - 1] equals 1.
bool AnyMarked(const uint8_t* mask, uint32_t start, uint16_t count);
