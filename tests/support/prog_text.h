// Test helpers: load an image from text and store it to text, through an archive over a memory
// file as the application does.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/archive.h"
#include "prog/prog_base.h"

inline int LoadText(CProgBase& image, const std::string& text) {
  CMemFile file(reinterpret_cast<uint8_t*>(const_cast<char*>(text.data())), static_cast<uint32_t>(text.size()));
  CArchive ar(&file, CArchive::load, PROG_ARCHIVE_BUFFER);
  const int result = image.Serialize(ar);
  file.Detach();
  return result;
}

inline std::string StoreText(CProgBase& image, int* result = nullptr) {
  CMemFile file(1024);
  int r;
  {
    CArchive ar(&file, CArchive::store, PROG_ARCHIVE_BUFFER);
    r = image.Serialize(ar);
    ar.Close();
  }
  if (result) *result = r;
  const size_t n = static_cast<size_t>(file.GetLength());
  uint8_t* p = file.Detach();
  std::string text(reinterpret_cast<const char*>(p), n);
  std::free(p);
  return text;
}

// An S-record line of the given kind ('1' to '9'), with the count and checksum worked out.
inline std::string SLine(char kind, const std::string& addressAndDataHex) {
  static const char* digits = "0123456789ABCDEF";
  const size_t bytes = addressAndDataHex.size() / 2;
  unsigned sum = static_cast<unsigned>(bytes + 1);
  for (size_t i = 0; i < bytes; ++i)
    sum += static_cast<unsigned>(std::stoul(addressAndDataHex.substr(2 * i, 2), nullptr, 16));
  const unsigned count = static_cast<unsigned>(bytes + 1);
  const unsigned ck = ~sum & 0xFF;
  std::string s = "S";
  s += kind;
  s += digits[count >> 4];
  s += digits[count & 15];
  s += addressAndDataHex;
  s += digits[ck >> 4];
  s += digits[ck & 15];
  return s;
}

// An Intel HEX line: length, address, type and data from the hex text, checksum worked out.
inline std::string HexLine(const std::string& addressTypeDataHex) {
  static const char* digits = "0123456789ABCDEF";
  const size_t bytes = addressTypeDataHex.size() / 2;
  const unsigned n = static_cast<unsigned>(bytes - 3);
  unsigned sum = n;
  for (size_t i = 0; i < bytes; ++i)
    sum += static_cast<unsigned>(std::stoul(addressTypeDataHex.substr(2 * i, 2), nullptr, 16));
  const unsigned ck = (0u - sum) & 0xFF;
  std::string s = ":";
  s += digits[n >> 4];
  s += digits[n & 15];
  s += addressTypeDataHex;
  s += digits[ck >> 4];
  s += digits[ck & 15];
  return s;
}
