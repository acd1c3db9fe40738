// The hex layer of the protected form, done by table: upper-case digits, two per byte, high
// nibble first, nothing between them; read back as the crypto library's hex decoder reads it
// (either case, every other character passed over, a last unpaired digit dropped). The library's
// coders go through a generic bit-group loop one character at a time, which cost a quarter of a
// decode.
#pragma once

#include <cstddef>
#include <cstdint>

// Writes the 2 * n digits of the n bytes at in to out.
void HexEncodeBytes(const uint8_t* in, size_t n, char* out) noexcept;

// Reads hex text chunk by chunk: a digit left unpaired at the end of one chunk pairs with the
// first digit of the next.
class HexReader {
 public:
  // Decodes the n characters at in into out, which has room for (n + 1) / 2 bytes; returns the
  // count of bytes written.
  size_t Read(const uint8_t* in, size_t n, uint8_t* out) noexcept;

 private:
  int m_high = -1;  // a digit waiting for its pair, or -1
};
