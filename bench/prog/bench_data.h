// Input for the image benchmarks: an image like real flash (alternating blocks of random bytes and
// 0xFF runs), 8 MiB unless another size is asked for, as S3 text with 64 data bytes a line (or
// another count) and as Intel HEX with 32-byte records.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace benchdata {

inline constexpr uint32_t kImageBase = 0x00100000;
inline constexpr size_t kImageSize = 8u << 20;

// The sizes the benchmarks compare, in MiB: the usual image and a large one.
inline constexpr int kSmallMiB = 8;
inline constexpr int kLargeMiB = 64;

inline std::vector<uint8_t> MakeImage(size_t size = kImageSize) {
  std::vector<uint8_t> image(size, 0xFF);
  std::mt19937 rng(2026);
  // 4 KiB of random bytes, then 4 KiB erased, and so on: half and half.
  for (size_t block = 0; block < size; block += 8192)
    for (size_t i = block; i < block + 4096; ++i) image[i] = static_cast<uint8_t>(rng());
  return image;
}

inline void AppendHex(std::string& s, uint32_t v, int digits) {
  static const char* d = "0123456789ABCDEF";
  for (int i = digits - 1; i >= 0; --i) s += d[(v >> (4 * i)) & 0xF];
}

inline std::string ToS3(const std::vector<uint8_t>& image, size_t perLine = 64) {
  std::string s;
  s.reserve(image.size() * 2 + image.size() / perLine * 16 + 64);
  size_t lines = 0;
  for (size_t off = 0; off < image.size(); off += perLine, ++lines) {
    const size_t n = std::min(perLine, image.size() - off);
    const uint32_t addr = kImageBase + static_cast<uint32_t>(off);
    unsigned sum =
        static_cast<unsigned>(n + 5) + (addr & 0xFF) + ((addr >> 8) & 0xFF) + ((addr >> 16) & 0xFF) + (addr >> 24);
    s += "S3";
    AppendHex(s, static_cast<uint32_t>(n + 5), 2);
    AppendHex(s, addr, 8);
    for (size_t i = 0; i < n; ++i) {
      AppendHex(s, image[off + i], 2);
      sum += image[off + i];
    }
    AppendHex(s, ~sum & 0xFF, 2);
    s += '\n';
  }
  s += "S70500000000FA\n";
  return s;
}

inline std::string ToIntelHex(const std::vector<uint8_t>& image, size_t perLine = 32) {
  std::string s;
  s.reserve(image.size() * 2 + image.size() / perLine * 14 + 64);
  uint32_t upper = 0xFFFFFFFF;
  for (size_t off = 0; off < image.size(); off += perLine) {
    const uint32_t addr = kImageBase + static_cast<uint32_t>(off);
    if ((addr >> 16) != upper) {
      upper = addr >> 16;
      s += ":02000004";
      AppendHex(s, upper, 4);
      AppendHex(s, (0u - (6 + (upper >> 8) + (upper & 0xFF))) & 0xFF, 2);
      s += '\n';
    }
    const size_t n = std::min(perLine, image.size() - off);
    unsigned sum = static_cast<unsigned>(n) + ((addr >> 8) & 0xFF) + (addr & 0xFF);
    s += ':';
    AppendHex(s, static_cast<uint32_t>(n), 2);
    AppendHex(s, addr & 0xFFFF, 4);
    s += "00";
    for (size_t i = 0; i < n; ++i) {
      AppendHex(s, image[off + i], 2);
      sum += image[off + i];
    }
    AppendHex(s, (0u - sum) & 0xFF, 2);
    s += '\n';
  }
  s += ":00000001FF\n";
  return s;
}

}  // namespace benchdata
