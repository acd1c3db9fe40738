// Test helpers that build images record by record.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "prog/prog_base.h"

// A record of the given kind holding data at address.
inline CProgRecord Rec(uint32_t address, const std::vector<uint8_t>& data, uint8_t type = 3) {
  CProgRecord r;
  r.m_dwAddress = address;
  r.m_nLength = static_cast<uint8_t>(data.size());
  std::copy(data.begin(), data.end(), r.m_data);
  r.m_nRecordType = type;
  return r;
}

// Puts bytes into the image at address as S3 records of up to 64 bytes.
inline void Place(CProgBase& image, uint32_t address, const std::vector<uint8_t>& bytes) {
  for (size_t at = 0; at < bytes.size(); at += PROG_MAX_RECORD_DATA) {
    const size_t n = std::min<size_t>(PROG_MAX_RECORD_DATA, bytes.size() - at);
    image.m_listRecords.push_back(
        Rec(address + static_cast<uint32_t>(at), std::vector<uint8_t>(bytes.begin() + at, bytes.begin() + at + n)));
  }
}
