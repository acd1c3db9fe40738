#include "prog/prog_base.h"

#include <new>

CProgBase::CProgBase() { m_posCursor = m_listRecords.end(); }

CProgBase::CProgBase(const CProgBase& other) {
  m_posCursor = m_listRecords.end();
  CopySettingsAndRecords(other);
}

CProgBase::~CProgBase() { Reset(); }

// The members a copy takes, and the records appended after those already held.
void CProgBase::CopySettingsAndRecords(const CProgBase& other) {
  m_strProjectId = other.m_strProjectId;
  m_strEcuId = other.m_strEcuId;
  m_nHeaderWordSize = other.m_nHeaderWordSize;
  m_arrMapLengths = other.m_arrMapLengths;
  m_arrMapAddresses = other.m_arrMapAddresses;
  m_nFormat = other.m_nFormat;
  m_dwStartAddress = other.m_dwStartAddress;
  m_nTermination = other.m_nTermination;
  m_nLineNumber = other.m_nLineNumber;
  m_strProject = other.m_strProject;
  m_nEndian = other.m_nEndian;
  m_dwTableAddress = other.m_dwTableAddress;
  m_nTableLayout = other.m_nTableLayout;
  m_dwCRCBlockPointer = other.m_dwCRCBlockPointer;
  m_nMachineWordSize = other.m_nMachineWordSize;
  m_bBankedMemoryModel = other.m_bBankedMemoryModel;
  m_wSoftwareVersionID = other.m_wSoftwareVersionID;
  CopyRecords(other);
  m_dwModuleConfigAddress = other.m_dwModuleConfigAddress;
}

CProgBase& CProgBase::operator=(const CProgBase& other) {
  CopySettingsAndRecords(other);
  return *this;
}

CProgBase& CProgBase::CopyRecords(const CProgBase& other) {
  // Count first: copying from this image itself must not walk into the copies it appends.
  size_t n = other.m_listRecords.size();
  auto it = other.m_listRecords.begin();
  for (; n > 0; --n, ++it) m_listRecords.push_back(*it);
  return *this;
}

void CProgBase::Reset() {
  m_nLineNumber = 0;
  m_dwTableAddress = 0;
  m_nTableLayout = 0;
  m_dwCRCBlockPointer = 0;
  m_nEndian = 0;
  m_nMachineWordSize = 0;
  m_bBankedMemoryModel = 0;
  m_strProject.clear();
  m_wSoftwareVersionID = 0;
  m_listRecords.clear();
  m_posCursor = m_listRecords.end();
  m_listPages.clear();
  m_listInitRAM.clear();
  m_dwStartAddress = 0;
  m_nTermination = 0;
  m_dwModuleConfigAddress = 0;
}

bool CProgBase::AddInitRAMSection(uint32_t ramAddress, uint32_t romAddress, uint32_t length) {
  try {
    m_listInitRAM.emplace_back(ramAddress, romAddress, length);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

// ---------------------------------------------------------------- byte access

bool CProgBase::FindRecord(uint32_t address) {
  const auto end = m_listRecords.end();
  // From the last hit onwards first, so that reads at rising addresses stay cheap.
  for (; m_posCursor != end; ++m_posCursor)
    if (m_posCursor->Holds(address)) return true;
  for (m_posCursor = m_listRecords.begin(); m_posCursor != end; ++m_posCursor)
    if (m_posCursor->Holds(address)) return true;
  return false;
}

uint8_t* CProgBase::LocateByte(uint32_t address) {
  if (FindRecord(address)) return &m_posCursor->m_data[address - m_posCursor->m_dwAddress];
  for (const CInitRAMSection& s : m_listInitRAM) {
    if (!s.HoldsRAM(address)) continue;
    // The first section that holds the address decides; the ROM address is not mapped again.
    const uint64_t rom = uint64_t{s.m_dwROMAddress} + (address - s.m_dwRAMAddress);
    if (rom > UINT32_MAX || !FindRecord(static_cast<uint32_t>(rom))) return nullptr;
    return &m_posCursor->m_data[static_cast<uint32_t>(rom) - m_posCursor->m_dwAddress];
  }
  return nullptr;
}

bool CProgBase::GetBytes(uint32_t address, uint8_t* buffer, uint8_t count) {
  for (unsigned i = 0; i < count; ++i) {
    const uint64_t a = uint64_t{address} + i;
    // Bytes past the top of the address space do not wrap round to address 0.
    if (a > UINT32_MAX) return false;
    const uint8_t* p = LocateByte(static_cast<uint32_t>(a));
    if (!p) return false;
    buffer[i] = *p;
  }
  return true;
}

bool CProgBase::PutByte(uint32_t address, uint8_t value) {
  uint8_t* p = LocateByte(address);
  if (!p) return false;
  *p = value;
  m_posCursor->m_bModified = 1;
  return true;
}

bool CProgBase::PutBytes(uint32_t address, const uint8_t* buffer, uint8_t count) {
  for (unsigned i = 0; i < count; ++i) {
    const uint64_t a = uint64_t{address} + i;
    if (a > UINT32_MAX || !PutByte(static_cast<uint32_t>(a), buffer[i])) return false;
  }
  return true;
}

uint32_t CProgBase::GetDataByteCount() const {
  uint32_t n = 0;
  for (const CProgRecord& r : m_listRecords) n += r.m_nLength;
  return n;
}

int32_t CProgBase::GetRecordListCount() const { return static_cast<int32_t>(m_listRecords.size()); }

int32_t CProgBase::GetPageRecordCount() const {
  int32_t n = 0;
  for (const CMultiProgRecord& page : m_listPages) n += static_cast<int32_t>(page.m_listRecords.size());
  return n;
}

int32_t CProgBase::GetRecordCount() const { return GetRecordListCount() + GetPageRecordCount(); }

// ---------------------------------------------------------------- byte substitution

namespace {

uint32_t MapBytes(uint32_t v, const uint8_t (&table)[256], int bytes) {
  uint32_t out = 0;
  for (int i = 0; i < bytes; ++i) out |= uint32_t{table[(v >> (8 * i)) & 0xFF]} << (8 * i);
  return out;
}

}  // namespace

uint16_t CProgBase::EncodeWord(uint16_t v) const {
  return m_nFileType == 1 ? static_cast<uint16_t>(MapBytes(v, g_EncodeTable, 2)) : v;
}
uint16_t CProgBase::DecodeWord(uint16_t v) const {
  return m_nFileType == 1 ? static_cast<uint16_t>(MapBytes(v, g_DecodeTable, 2)) : v;
}
uint16_t CProgBase::AltEncodeWord(uint16_t v) const { return static_cast<uint16_t>(MapBytes(v, g_AltEncodeTable, 2)); }
uint16_t CProgBase::AltDecodeWord(uint16_t v) const {
  return m_nFileType == 1 ? static_cast<uint16_t>(MapBytes(v, g_AltDecodeTable, 2)) : v;
}

uint32_t CProgBase::EncodeLong(uint32_t v) const { return m_nFileType == 1 ? MapBytes(v, g_EncodeTable, 4) : v; }
uint32_t CProgBase::DecodeLong(uint32_t v) const { return m_nFileType == 1 ? MapBytes(v, g_DecodeTable, 4) : v; }
uint32_t CProgBase::AltEncodeLong(uint32_t v) const { return MapBytes(v, g_AltEncodeTable, 4); }
uint32_t CProgBase::AltDecodeLong(uint32_t v) const { return m_nFileType == 1 ? MapBytes(v, g_AltDecodeTable, 4) : v; }
