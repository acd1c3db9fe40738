// CRC-32 as IEEE 802.3 and zlib define it (reflected polynomial 0xEDB88320).
#pragma once

#include <array>
#include <cstdint>

constexpr std::array<uint32_t, 256> MakeCrc32Table() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[i] = c;
  }
  return table;
}

inline constexpr std::array<uint32_t, 256> g_Crc32Table = MakeCrc32Table();

// CRC-32 of length bytes; 0 for an empty buffer.
uint32_t CalcCrc32(const uint8_t* buffer, uint32_t length);
