// The software-ID lookup: fills the table directories and reads the "SwIdTxt" parameter where the
// controller database says it lies.
#include <algorithm>
#include <vector>

#include "ecuserver/ecu_server.h"
#include "prog/prog_base.h"

namespace {

constexpr uint8_t kDefaultProjectID = 6;
constexpr uint8_t kDefaultTable0Rev = 9;

void ReadEntryOrClear(CProgBase& image, uint32_t address, TableDirEntry& entry) {
  if (!image.ReadDirectoryEntry(address, entry)) entry = TableDirEntry{};
}

// One database id: a one-byte item of table 0.
bool ReadDatabaseId(CProgBase& image, uint8_t item, int useDefaults, uint8_t fallback, uint8_t& id) {
  if (image.ReadTableItem(0, item, &id, 0, 1) == TABLE_OK) return true;
  if (!useDefaults) return false;
  id = fallback;
  return true;
}

}  // namespace

bool CProgBase::ReadSoftwareIdText(std::string& text, int useDefaults) {
  if (m_dwTableAddress == 0) return false;
  ReadEntryOrClear(*this, m_dwTableAddress, m_dirTables[0]);
  ReadEntryOrClear(*this, m_dwTableAddress, m_dirTablesB[0]);

  uint8_t projectId = 0, table0Rev = 0;
  if (!ReadDatabaseId(*this, 0, useDefaults, kDefaultProjectID, projectId)) return false;
  if (!ReadDatabaseId(*this, 1, useDefaults, kDefaultTable0Rev, table0Rev)) return false;

  const uint32_t w = m_nMachineWordSize;
  const uint32_t strideA = w + 1;
  const uint32_t strideB = m_strProject == "MPC55xx" ? w + 4 : w + 2;

  CECUServer server;
  server.OpenDefaultTDBOffline(projectId, table0Rev);
  for (uint32_t i = 1; i < kProgTableDirSize; ++i) {
    ReadEntryOrClear(*this, m_dwTableAddress + i * strideA, m_dirTables[i]);
    ReadEntryOrClear(*this, m_dwTableAddress + i * strideB, m_dirTablesB[i]);
  }

  ParameterInfo info;
  if (!server.GetParameterInfo("SwIdTxt", &info)) return false;
  // The length comes from the database: no item holds more than kTableMaxItemBytes, so a longer
  // length finds the same text in a buffer of that size.
  const uint64_t length = std::min<uint64_t>(uint64_t{info.SizeFactor1()} * info.SizeFactor2(), kTableMaxItemBytes);
  std::vector<uint8_t> buffer(static_cast<size_t>(length) + 1, 0);  // the last byte stays the terminator
  if (ReadTableItem(info.nTable, info.nItem, buffer.data(), 0, static_cast<uint32_t>(length)) != TABLE_OK) return false;
  text.assign(reinterpret_cast<const char*>(buffer.data()));
  return true;
}

bool CProgBase::CheckSoftwareIdText(const std::string& expected, int useDefaults) {
  std::string found;
  const bool ok = ReadSoftwareIdText(found, useDefaults);
  if (ok && found != expected) return false;
  return ok;
}
