#include "protect/hex_text.h"

#include <array>
#include <cstring>

namespace {

constexpr char kDigits[] = "0123456789ABCDEF";

constexpr std::array<char, 512> MakePairs() {
  std::array<char, 512> pairs{};
  for (int b = 0; b < 256; ++b) {
    pairs[2 * b] = kDigits[b >> 4];
    pairs[2 * b + 1] = kDigits[b & 15];
  }
  return pairs;
}

// A digit's value, or -1 for any other character.
constexpr std::array<int8_t, 256> MakeValues() {
  std::array<int8_t, 256> values{};
  for (int c = 0; c < 256; ++c) {
    values[c] = c >= '0' && c <= '9'   ? static_cast<int8_t>(c - '0')
                : c >= 'A' && c <= 'F' ? static_cast<int8_t>(c - 'A' + 10)
                : c >= 'a' && c <= 'f' ? static_cast<int8_t>(c - 'a' + 10)
                                       : int8_t{-1};
  }
  return values;
}

constexpr std::array<char, 512> kPairs = MakePairs();
constexpr std::array<int8_t, 256> kValues = MakeValues();

}  // namespace

void HexEncodeBytes(const uint8_t* in, size_t n, char* out) noexcept {
  for (size_t i = 0; i < n; ++i) std::memcpy(out + 2 * i, &kPairs[2 * size_t{in[i]}], 2);
}

size_t HexReader::Read(const uint8_t* in, size_t n, uint8_t* out) noexcept {
  uint8_t* const start = out;
  size_t i = 0;
  for (;;) {
    if (m_high < 0) {
      // Two digits side by side, as a protected text holds them throughout.
      while (i + 1 < n) {
        const int hi = kValues[in[i]], lo = kValues[in[i + 1]];
        if ((hi | lo) < 0) break;
        *out++ = static_cast<uint8_t>(hi << 4 | lo);
        i += 2;
      }
    }
    // One character at a time past anything else, until the pairs line up again.
    if (i >= n) break;
    const int v = kValues[in[i++]];
    if (v < 0) continue;
    if (m_high < 0) {
      m_high = v;
    } else {
      *out++ = static_cast<uint8_t>(m_high << 4 | v);
      m_high = -1;
    }
  }
  return static_cast<size_t>(out - start);
}
