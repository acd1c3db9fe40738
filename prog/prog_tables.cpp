// Parameter tables: the table directory, item descriptors and item values inside the image, and
// the typed reads and writes in the image's byte order.
#include <bit>
#include <cstring>

#include "prog/prog_base.h"

// Values pass between image and host by reversing the bytes of a big-endian image.
static_assert(std::endian::native == std::endian::little);

namespace {

bool IsServedWidth(uint8_t width) { return width == 1 || width == 2 || width == 4; }

// Flags byte of layouts 0 and 2, compared whole.
uint8_t KindFromFlags(uint8_t flags) {
  switch (flags) {
    case 0x80: return 0;
    case 0x40: return 1;
    case 0x20: return 2;
    default: return 3;
  }
}

// Item n of the table that entry describes. Table numbers past the directory have no descriptor.
bool ReadDescriptor(CProgBase& image, const TableDirEntry* dir, uint8_t table, uint32_t item, TableItemDesc& desc) {
  if (table >= kProgTableDirSize) return false;
  const uint32_t w = image.m_nMachineWordSize;
  uint32_t stride;
  switch (image.m_nTableLayout) {
    case 0: stride = w + 6; break;
    case 1: stride = w + 4; break;
    case 2: stride = 9; break;
    default: return false;
  }
  const uint32_t base = dir[table].dwAddress + item * stride;  // wraps at 32 bits
  if (!image.ReadPointer(base, desc.dwAddress, false)) return false;
  if (image.m_nTableLayout == 1) {
    uint32_t packed;
    if (!image.ReadLong(base + w, packed)) return false;
    desc.byAttr1 = static_cast<uint8_t>(packed >> 24);
    desc.byAttr2 = static_cast<uint8_t>((packed >> 20) & 0x03);
    desc.wCount = static_cast<uint16_t>((packed >> 8) & 0x0FFF);
    desc.byKind = static_cast<uint8_t>((packed >> 6) & 0x03);
    desc.byWidth = static_cast<uint8_t>(packed & 0x0F);
    return true;
  }
  uint8_t flags, width;
  if (!image.ReadByte(base + w, desc.byAttr1) || !image.ReadByte(base + w + 1, desc.byAttr2) ||
      !image.ReadWord(base + w + 2, desc.wCount) || !image.ReadByte(base + w + 4, flags))
    return false;
  desc.byKind = KindFromFlags(flags);
  if (!image.ReadByte(base + w + 5, width)) return false;
  desc.byWidth = static_cast<uint8_t>(width & 0x7F);
  return true;
}

int32_t ReadItemValues(CProgBase& image, const TableDirEntry* dir, uint8_t table, uint32_t item, uint8_t* buffer,
                       int32_t size, uint32_t room) {
  TableItemDesc desc;
  if (!ReadDescriptor(image, dir, table, item, desc)) return TABLE_E_NO_ITEM;
  const uint32_t needed = uint32_t{desc.wCount} * desc.byWidth;
  if (size != 0 && static_cast<int64_t>(size) != static_cast<int64_t>(needed)) return TABLE_E_SIZE;
  if (desc.byKind != 0 && desc.byKind != 2) return TABLE_E_KIND;
  if (desc.wCount == 0) return TABLE_OK;
  if (!IsServedWidth(desc.byWidth)) return TABLE_E_WIDTH;
  // The item's own count must not decide how far the caller's buffer is written.
  if (needed > room) return TABLE_E_SIZE;
  for (uint32_t i = 0; i < desc.wCount; ++i) {
    const uint32_t at = desc.dwAddress + i * desc.byWidth;
    uint8_t* out = buffer + i * desc.byWidth;
    bool ok;
    if (desc.byWidth == 1) {
      ok = image.ReadByte(at, *out);
    } else if (desc.byWidth == 2) {
      uint16_t v;
      ok = image.ReadWord(at, v);
      if (ok) std::memcpy(out, &v, 2);
    } else {
      uint32_t v;
      ok = image.ReadLong(at, v);
      if (ok) std::memcpy(out, &v, 4);
    }
    if (!ok) return TABLE_E_READ;
  }
  return TABLE_OK;
}

bool WriteItemValues(CProgBase& image, const TableDirEntry* dir, uint8_t table, uint32_t item, const uint8_t* values) {
  TableItemDesc desc;
  if (!ReadDescriptor(image, dir, table, item, desc) || desc.byKind != 2) return false;
  for (uint32_t i = 0; i < desc.wCount; ++i) {
    const uint32_t at = desc.dwAddress + i * desc.byWidth;
    const uint8_t* in = values + i * desc.byWidth;
    bool ok;
    if (desc.byWidth == 1) {
      ok = image.WriteByte(at, *in);
    } else if (desc.byWidth == 2) {
      uint16_t v;
      std::memcpy(&v, in, 2);
      ok = image.WriteWord(at, v);
    } else if (desc.byWidth == 4) {
      uint32_t v;
      std::memcpy(&v, in, 4);
      ok = image.WriteLong(at, v);
    } else {
      ok = false;
    }
    if (!ok) return false;
  }
  return true;
}

// A value of T's width in the image's byte order (m_nEndian 0: big-endian), in host order here.
template <typename T>
bool ReadOrdered(CProgBase& image, uint32_t address, T& value) {
  uint8_t b[sizeof(T)];
  if (!image.GetBytes(address, b, sizeof(T))) return false;
  if (image.m_nEndian == 0) CProgBase::ReverseBytes(b, sizeof(T));
  std::memcpy(&value, b, sizeof(T));
  return true;
}

template <typename T>
bool WriteOrdered(CProgBase& image, uint32_t address, T value) {
  uint8_t b[sizeof(T)];
  std::memcpy(b, &value, sizeof(T));
  if (image.m_nEndian == 0) CProgBase::ReverseBytes(b, sizeof(T));
  return image.PutBytes(address, b, sizeof(T));
}

}  // namespace

// ---------------------------------------------------------------- typed access

bool CProgBase::ReadByte(uint32_t address, uint8_t& value) { return GetBytes(address, &value, 1); }

bool CProgBase::ReadWord(uint32_t address, uint16_t& value) { return ReadOrdered(*this, address, value); }

bool CProgBase::ReadLong(uint32_t address, uint32_t& value) { return ReadOrdered(*this, address, value); }

bool CProgBase::WriteByte(uint32_t address, uint8_t value) { return PutBytes(address, &value, 1); }

bool CProgBase::WriteWord(uint32_t address, uint16_t value) { return WriteOrdered(*this, address, value); }

bool CProgBase::WriteLong(uint32_t address, uint32_t value) { return WriteOrdered(*this, address, value); }

void CProgBase::ReverseBytes(uint8_t* buffer, uint8_t count) {
  for (unsigned i = 0; i < count / 2u; ++i) {
    const uint8_t t = buffer[i];
    buffer[i] = buffer[count - 1 - i];
    buffer[count - 1 - i] = t;
  }
}

void CProgBase::ReverseWord(uint8_t* buffer) { ReverseBytes(buffer, 2); }
void CProgBase::ReverseLong(uint8_t* buffer) { ReverseBytes(buffer, 4); }

void CProgBase::SwapToTarget(uint8_t* buffer) const {
  if (m_nMachineWordSize == 2)
    ReverseWord(buffer);
  else if (m_nMachineWordSize == 4)
    ReverseLong(buffer);
}

bool CProgBase::ClearTableSettings() {
  m_dwTableAddress = 0;
  m_nEndian = 0;
  m_nMachineWordSize = 0;
  return true;
}

// ---------------------------------------------------------------- pointers and the directory

bool CProgBase::ReadPointer(uint32_t address, uint32_t& pointer, bool banked) {
  switch (m_nMachineWordSize) {
    case 2: {
      uint16_t p;
      if (!ReadWord(address, p)) return false;
      pointer = banked ? (address & 0xFF0000u) | p : p;
      return true;
    }
    case 3: {
      // Three-byte pointers are most significant byte first whatever the byte order.
      uint8_t b[3];
      if (!GetBytes(address, b, 3)) return false;
      pointer = uint32_t{b[0]} << 16 | uint32_t{b[1]} << 8 | b[2];
      return true;
    }
    case 4: return ReadLong(address, pointer);
    default: return false;
  }
}

bool CProgBase::ReadDirectoryEntry(uint32_t address, TableDirEntry& entry) {
  return ReadPointer(address, entry.dwAddress, m_bBankedMemoryModel != 0) &&
         ReadByte(address + m_nMachineWordSize, entry.byCount);
}

bool CProgBase::ReadDirectoryEntryWide(uint32_t address, TableDirEntryWide& entry) {
  return ReadPointer(address, entry.dwAddress, m_bBankedMemoryModel != 0) &&
         ReadWord(address + m_nMachineWordSize, entry.wCount);
}

// ---------------------------------------------------------------- items

bool CProgBase::GetItemDescriptor(uint8_t table, uint8_t item, TableItemDesc& desc) {
  return ReadDescriptor(*this, m_dirTables, table, item, desc);
}

bool CProgBase::GetItemDescriptorB(uint8_t table, uint16_t item, TableItemDesc& desc) {
  return ReadDescriptor(*this, m_dirTablesB, table, item, desc);
}

int32_t CProgBase::ReadTableItem(uint8_t table, uint8_t item, uint8_t* buffer, int32_t size, uint32_t room) {
  return ReadItemValues(*this, m_dirTables, table, item, buffer, size, room);
}

int32_t CProgBase::ReadTableItemB(uint8_t table, uint16_t item, uint8_t* buffer, int32_t size, uint32_t room) {
  return ReadItemValues(*this, m_dirTablesB, table, item, buffer, size, room);
}

bool CProgBase::WriteTableItem(uint8_t table, uint8_t item, const uint8_t* values) {
  return WriteItemValues(*this, m_dirTables, table, item, values);
}

bool CProgBase::WriteTableItemB(uint8_t table, uint16_t item, const uint8_t* values) {
  return WriteItemValues(*this, m_dirTablesB, table, item, values);
}

bool CProgBase::GetTableItemAddress(uint8_t table, uint8_t item, uint32_t& address) {
  TableItemDesc desc;
  if (!GetItemDescriptor(table, item, desc)) return false;
  address = desc.dwAddress;
  return true;
}

bool CProgBase::GetTableItemAddressB(uint8_t table, uint16_t item, uint32_t& address) {
  TableItemDesc desc;
  if (!GetItemDescriptorB(table, item, desc)) return false;
  address = desc.dwAddress;
  return true;
}
