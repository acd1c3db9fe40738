// Test helpers: a text through the file-protection codec and back, as strings.
#pragma once

#include <cstdint>
#include <string>

#include "protect/codec.h"

// The protected form of text; empty when the codec refuses it.
inline std::string ProtectText(const std::string& text) {
  uint8_t* out = nullptr;
  uint32_t length = 0;
  if (EncodeProtectedBuffer(0, text.data(), static_cast<uint32_t>(text.size()), &out, &length) < 0) return "";
  std::string hex(reinterpret_cast<char*>(out), length);
  FreeBuffer(out);
  return hex;
}

// The plain text of a protected one; "<not protected>" when it does not decode.
inline std::string UnprotectText(const std::string& text) {
  uint8_t* out = nullptr;
  uint32_t length = 0;
  if (DecodeProtectedBuffer(0, text.data(), static_cast<uint32_t>(text.size()), &out, &length) < 0)
    return "<not protected>";
  std::string plain(reinterpret_cast<char*>(out), length);
  FreeBuffer(out);
  return plain;
}
