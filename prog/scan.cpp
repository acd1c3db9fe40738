#include "prog/scan.h"

namespace scan {

namespace {

constexpr auto MakeHexTable() {
  struct T {
    int8_t v[256];
  } t{};
  for (int i = 0; i < 256; ++i) t.v[i] = -1;
  for (int i = 0; i < 10; ++i) t.v['0' + i] = static_cast<int8_t>(i);
  for (int i = 0; i < 6; ++i) {
    t.v['a' + i] = static_cast<int8_t>(10 + i);
    t.v['A' + i] = static_cast<int8_t>(10 + i);
  }
  return t;
}

constexpr auto kTable = MakeHexTable();

void SkipSpace(std::string_view text, size_t& pos) {
  while (pos < text.size() && IsSpace(text[pos])) ++pos;
}

bool Decimal(std::string_view text, size_t& pos, unsigned width, bool isSigned, uint32_t& value) {
  SkipSpace(text, pos);
  size_t p = pos;
  const size_t limit = width ? std::min(text.size(), pos + width) : text.size();
  bool negative = false;
  if (isSigned && p < limit && (text[p] == '-' || text[p] == '+')) {
    negative = text[p] == '-';
    ++p;
  }
  const size_t first = p;
  uint32_t v = 0;
  while (p < limit && text[p] >= '0' && text[p] <= '9') v = v * 10u + static_cast<uint32_t>(text[p++] - '0');
  if (p == first) return false;
  value = negative ? 0u - v : v;
  pos = p;
  return true;
}

}  // namespace

const int8_t kHexValue[256] = {
#define R(i) kTable.v[i]
#define R16(i)                                                                                               \
  R(i), R(i + 1), R(i + 2), R(i + 3), R(i + 4), R(i + 5), R(i + 6), R(i + 7), R(i + 8), R(i + 9), R(i + 10), \
      R(i + 11), R(i + 12), R(i + 13), R(i + 14), R(i + 15)
    R16(0),   R16(16),  R16(32),  R16(48),  R16(64),  R16(80),  R16(96),  R16(112),
    R16(128), R16(144), R16(160), R16(176), R16(192), R16(208), R16(224), R16(240),
#undef R16
#undef R
};

bool Hex(std::string_view text, size_t& pos, unsigned width, uint32_t& value) {
  SkipSpace(text, pos);
  size_t p = pos;
  const size_t limit = width ? std::min(text.size(), pos + width) : text.size();
  uint32_t v = 0;
  int d;
  while (p < limit && (d = HexValue(text[p])) >= 0) {
    v = (v << 4) | static_cast<uint32_t>(d);
    ++p;
  }
  if (p == pos) return false;
  value = v;
  pos = p;
  return true;
}

int Pattern(std::string_view text, std::string_view pattern, uint32_t* nums, std::string* word) {
  size_t t = 0;
  int fields = 0;
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char pc = pattern[i];
    if (IsSpace(pc)) {
      SkipSpace(text, t);
      continue;
    }
    if (pc != '%') {
      if (t >= text.size() || text[t] != pc) return fields;
      ++t;
      continue;
    }
    unsigned width = 0;
    while (++i < pattern.size() && pattern[i] >= '0' && pattern[i] <= '9')
      width = width * 10 + unsigned(pattern[i] - '0');
    while (i < pattern.size() && (pattern[i] == 'l' || pattern[i] == 'h')) ++i;
    if (i >= pattern.size()) return fields;
    uint32_t v = 0;
    switch (pattern[i]) {
      case 'x':
      case 'X':
        if (!Hex(text, t, width, v)) return fields;
        *nums++ = v;
        break;
      case 'd':
      case 'u':
        if (!Decimal(text, t, width, pattern[i] == 'd', v)) return fields;
        *nums++ = v;
        break;
      case 's': {
        SkipSpace(text, t);
        const size_t start = t;
        const size_t limit = width ? std::min(text.size(), t + width) : text.size();
        // The text of a scanf pattern ends at its first zero byte.
        while (t < limit && text[t] != '\0' && !IsSpace(text[t])) ++t;
        if (t == start) return fields;
        if (word) word->assign(text.substr(start, t - start));
        break;
      }
      default: return fields;
    }
    ++fields;
  }
  return fields;
}

}  // namespace scan
