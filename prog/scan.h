// Matching of record text against scanf-style patterns, by the rules the file format is defined
// with: a blank in a pattern matches any run of white space (none included); a numeric conversion
// skips white space, then takes at most its width of digits (hex digits of either case for x and
// X, decimal for d and u; d alone takes a sign); s takes the next run of non-blank characters,
// ending at a zero byte as a C text does.
// Nothing else is accepted (no "0x" prefix inside a conversion, no sign for x or u), values wrap
// at 32 bits, and characters after the last conversion are not looked at.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace scan {

// -1 for a character that is not a hexadecimal digit, else its value.
extern const int8_t kHexValue[256];

inline int HexValue(char c) { return kHexValue[static_cast<unsigned char>(c)]; }
inline bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// One hexadecimal conversion of at most width digits, starting at pos (white space before the
// digits is skipped). On success sets value and moves pos past the digits.
bool Hex(std::string_view text, size_t& pos, unsigned width, uint32_t& value);

// The byte written as the two characters at pos and pos + 1, read with "%2x" on those characters
// alone. Fails when pos is at or past the end, or no hex digit follows the white space; a pair cut
// by the end of the text is read from its one character.
inline bool Pair(std::string_view text, size_t pos, uint8_t& value) {
  if (pos + 1 < text.size()) {
    const int hi = HexValue(text[pos]);
    const int lo = HexValue(text[pos + 1]);
    if ((hi | lo) >= 0) {
      value = static_cast<uint8_t>((hi << 4) | lo);
      return true;
    }
  }
  if (pos >= text.size()) return false;
  size_t p = 0;
  uint32_t v = 0;
  if (!Hex(text.substr(pos, 2), p, 2, v)) return false;
  value = static_cast<uint8_t>(v);
  return true;
}

// Matches text against pattern. Numeric conversions (%x %lx %lX %hx %d %lu, with an optional
// width) store their values in nums in order; a %s conversion stores into *word. Returns the
// number of conversions that succeeded before the first failure.
int Pattern(std::string_view text, std::string_view pattern, uint32_t* nums, std::string* word = nullptr);

}  // namespace scan
