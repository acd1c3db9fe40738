// The image header: identifiers, byte order and map tables stored at a known address inside
// the image's data.
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/ui_services.h"
#include "prog/prog_base.h"

namespace {

// Header field offsets.
constexpr uint32_t kEcuIdOffset = 0;
constexpr uint8_t kEcuIdSize = 8;
constexpr uint32_t kProjectIdOffset = 8;
constexpr uint8_t kProjectIdSize = 5;
constexpr uint32_t kHeaderWordOffset = 13;
constexpr uint32_t kEndianOffset = 23;
constexpr uint32_t kWordSizeOffset = 24;
constexpr uint32_t kMapListOffset = 25;
constexpr size_t kMaxMapAddresses = 200;

// A header that reaches past the top of the address space must not wrap round to address 0:
// such bytes count as unreadable.
bool ReadAt(CProgBase& image, uint64_t address, uint8_t* buffer, uint8_t count) {
  return address <= UINT32_MAX && image.GetBytes(static_cast<uint32_t>(address), buffer, count);
}

bool WriteAt(CProgBase& image, uint64_t address, uint8_t value) {
  return address <= UINT32_MAX && image.PutByte(static_cast<uint32_t>(address), value);
}

// The text of the size bytes at address, up to a NUL among them.
bool ReadTextAt(CProgBase& image, uint64_t address, uint8_t size, std::string& text) {
  char bytes[UINT8_MAX] = {};
  if (!ReadAt(image, address, reinterpret_cast<uint8_t*>(bytes), size)) return false;
  text.assign(bytes, strnlen(bytes, size));
  return true;
}

bool IsValidWordSize(uint8_t w) { return w >= 1 && w <= 4; }

}  // namespace

bool CProgBase::ReadImageHeader(uint32_t headerAddress) {
  using Reader = int (CProgBase::*)(uint32_t);
  static constexpr Reader kReaders[] = {
      &CProgBase::ReadHeaderEcuId,    &CProgBase::ReadHeaderProjectId,    &CProgBase::ReadHeaderEndian,
      &CProgBase::ReadHeaderWordSize, &CProgBase::ReadHeaderMapAddresses, &CProgBase::ReadHeaderMapLengths,
  };
  for (Reader read : kReaders) {
    const int result = (this->*read)(headerAddress);
    if (result != PROG_OK) {
      AfxMessageBox(static_cast<unsigned>(result), MB_OK);
      return false;
    }
  }
  return true;
}

int CProgBase::ReadHeaderEcuId(uint32_t headerAddress) {
  std::string text;
  if (!ReadTextAt(*this, uint64_t{headerAddress} + kEcuIdOffset, kEcuIdSize, text)) return PROG_E_HEADER_READ;
  // Only an underscore before the text's end counts.
  const size_t underscore = text.find('_');
  if (underscore == std::string::npos) return PROG_E_HEADER_ID;
  m_strEcuId = text.substr(0, underscore);
  return PROG_OK;
}

int CProgBase::ReadHeaderProjectId(uint32_t headerAddress) {
  std::string text;
  if (!ReadTextAt(*this, uint64_t{headerAddress} + kProjectIdOffset, kProjectIdSize, text)) return PROG_E_HEADER_READ;
  m_strProjectId = text.substr(0, text.find(' '));
  return PROG_OK;
}

int CProgBase::ReadHeaderEndian(uint32_t headerAddress) {
  if (!ReadAt(*this, uint64_t{headerAddress} + kEndianOffset, &m_nEndian, 1)) return PROG_E_HEADER_READ;
  return m_nEndian > 1 ? PROG_E_HEADER_READ : PROG_OK;
}

int CProgBase::ReadHeaderWordSize(uint32_t headerAddress) {
  int result = PROG_OK;
  if (!ReadAt(*this, uint64_t{headerAddress} + kWordSizeOffset, &m_nHeaderWordSize, 1)) result = PROG_E_HEADER_READ;
  if (m_nHeaderWordSize == 0) m_nHeaderWordSize = 2;
  if (m_nHeaderWordSize > 4) result = PROG_E_HEADER_READ;
  return result;
}

int CProgBase::ReadHeaderMapAddresses(uint32_t headerAddress) {
  const uint8_t w = m_nHeaderWordSize;
  // A width left over from a failed word-size read would overrun the 32-bit value.
  if (!IsValidWordSize(w)) return PROG_E_HEADER_READ;
  for (size_t appended = 0; appended < kMaxMapAddresses; ++appended) {
    const uint64_t slot = uint64_t{headerAddress} + kMapListOffset + (appended + 1) * w;
    uint8_t bytes[4] = {};
    if (!ReadAt(*this, slot, bytes, w)) return PROG_E_HEADER_READ;
    uint32_t value = 0;
    for (int i = 0; i < w; ++i) {
      // A big-endian target stores the most significant byte first; width 1 has no order.
      const int shift = (m_nEndian == 0) ? 8 * (w - 1 - i) : 8 * i;
      value |= uint32_t{bytes[i]} << shift;
    }
    if (value == 0) return PROG_OK;
    m_arrMapAddresses.push_back(value);
  }
  // No terminating zero within the longest list a header may hold.
  return PROG_E_HEADER_READ;
}

int CProgBase::ReadHeaderMapLengths(uint32_t headerAddress) {
  const uint8_t w = m_nHeaderWordSize;
  const auto n = static_cast<uint16_t>(m_arrMapAddresses.size());
  if (n == 0) return PROG_OK;  // no length to read
  // The lengths' offset depends on the width; a width out of range would read them from elsewhere.
  if (!IsValidWordSize(w)) return PROG_E_HEADER_READ;
  const uint64_t first = uint64_t{headerAddress} + kMapListOffset + (uint64_t{n} + 3) * w;
  int result = PROG_OK;
  for (uint32_t j = 0; j < n; ++j) {
    uint8_t bytes[2];
    if (!ReadAt(*this, first + 2 * j, bytes, 2)) {
      result = PROG_E_HEADER_READ;
      continue;
    }
    const uint16_t value = (m_nEndian == 0) ? static_cast<uint16_t>(bytes[0] << 8 | bytes[1])
                                            : static_cast<uint16_t>(bytes[1] << 8 | bytes[0]);
    m_arrMapLengths.push_back(value);
  }
  return result;
}

int CProgBase::WriteHeaderWord(uint32_t headerAddress, uint16_t value) {
  const uint64_t at = uint64_t{headerAddress} + kHeaderWordOffset;
  if (!WriteAt(*this, at, static_cast<uint8_t>(value >> 8))) return PROG_E_HEADER_READ;
  if (!WriteAt(*this, at + 1, static_cast<uint8_t>(value & 0xFF))) return PROG_E_HEADER_READ;
  return PROG_OK;
}
