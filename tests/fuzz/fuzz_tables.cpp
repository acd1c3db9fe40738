// The parameter tables, the software-ID lookup and the calibration-ID road of the form's Browse,
// on an image made from the fuzzed bytes, against a small test database. Every item read goes into
// a buffer of exactly the size asked for, with a guard behind it that must stay untouched; a
// lookup that fails leaves its texts as they were, one that succeeds gives texts no longer than the
// database's lengths.
//
// Input: ten bytes of settings, then the image bytes from a base address on.
//   0  word size (taken modulo 6: 2, 3 and 4 are served, the others must fail cleanly)
//   1  bit 0 little-endian, bit 1 banked, bits 2-3 table layout, bits 4-5 project
//   2  record length - 1 (modulo 64)
//   3  records left out: bit i drops every record whose number modulo 8 is i
//   4  table address offset from the base, high byte; 5 low byte
//   6  base address bits 16-23; 7 bits 8-15
//   8  one more item number to read in every table; 9 one more table number
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "authoring/program_ids.h"
#include "fuzz_check.h"
#include "prog/prog_base.h"
#include "support/test_tdb.h"

namespace {

constexpr size_t kSettings = 10;
const std::string kUntouched = "untouched";

// The standard rows, and ids whose lengths test the edges: a product that wraps to 0 at 32 bits,
// the longest item, a length of 2^31, a table past the directory, an empty text.
const std::vector<testimg::TdbRow>& Rows() {
  static const std::vector<testimg::TdbRow> rows = [] {
    std::vector<testimg::TdbRow> r = testimg::StandardTestRows();
    r.insert(r.end(), {
                          {1, 1, "SwIdTxt", 0, 2, 4, 1},
                          {1, 1, "CalIdTxt", 0, 3, 65536, 65536},
                          {2, 2, "SwIdTxt", 7, 255, 65535, 4},
                          {2, 2, "CalIdTxt", 9, 0, 32768, 65536},
                          {3, 3, "SwIdTxt", 0, 0, 0, 0},
                          {3, 3, "CalIdTxt", 0, 1, 1, 1},
                      });
    return r;
  }();
  return rows;
}

const TestTdb& Database() {
  static const TestTdb db(Rows());
  return db;
}

void BuildImage(CProgParse& image, const uint8_t* data, size_t size) {
  static const char* const kProjects[4] = {"", "MPC55xx", "mpc55xx", "MPC55xx "};
  image.m_nMachineWordSize = static_cast<uint8_t>(data[0] % 6);
  image.m_nEndian = data[1] & 1;
  image.m_bBankedMemoryModel = (data[1] >> 1) & 1;
  image.m_nTableLayout = (data[1] >> 2) & 3;
  image.m_strProject = kProjects[(data[1] >> 4) & 3];
  const size_t recordLength = 1 + data[2] % PROG_MAX_RECORD_DATA;
  const uint32_t base = uint32_t{data[6]} << 16 | uint32_t{data[7]} << 8;
  image.m_dwTableAddress = base + (uint32_t{data[4]} << 8 | data[5]);

  const uint8_t* bytes = data + kSettings;
  const size_t count = size - kSettings;
  size_t number = 0;
  for (size_t at = 0; at < count; at += recordLength, ++number) {
    if (data[3] & (1u << (number % 8))) continue;
    CProgRecord r;
    r.m_dwAddress = base + static_cast<uint32_t>(at);
    r.m_nLength = static_cast<uint8_t>(std::min(recordLength, count - at));
    std::memcpy(r.m_data, bytes + at, r.m_nLength);
    r.m_nRecordType = 3;
    image.m_listRecords.push_back(r);
  }
}

// The length the database gives a parameter for the image's ids, in 64 bits; 0 when unknown.
// Taken from the rows, not from the server under test.
uint64_t ParameterLength(CProgBase& image, const char* name) {
  uint8_t projectId = 6, table0Rev = 9;
  ReadDatabaseIds(image, projectId, table0Rev);
  for (const testimg::TdbRow& r : Rows())
    if (r.projectId == projectId && r.table0Rev == table0Rev && r.name == name)
      return static_cast<uint64_t>(r.sizeFactor1) * static_cast<uint64_t>(r.sizeFactor2);
  return 0;
}

bool IsTextOfAtMost(const std::string& text, uint64_t length) {
  return text.find('\0') == std::string::npos && text.size() <= std::min<uint64_t>(length, kTableMaxItemBytes);
}

// Value i of an item, read again with the typed reads, as the item read hands it over.
bool ValueMatches(CProgBase& image, const TableItemDesc& desc, const uint8_t* buffer, uint32_t i) {
  const uint32_t at = desc.dwAddress + i * desc.byWidth;
  const uint8_t* value = buffer + i * desc.byWidth;
  if (desc.byWidth == 1) {
    uint8_t v;
    return image.ReadByte(at, v) && v == *value;
  }
  if (desc.byWidth == 2) {
    uint16_t v;
    return image.ReadWord(at, v) && std::memcmp(&v, value, 2) == 0;
  }
  uint32_t v;
  return image.ReadLong(at, v) && std::memcmp(&v, value, 4) == 0;
}

void CheckItem(CProgBase& image, bool directoryB, uint8_t table, uint16_t item) {
  TableItemDesc desc;
  const bool described = directoryB ? image.GetItemDescriptorB(table, item, desc)
                                    : image.GetItemDescriptor(table, static_cast<uint8_t>(item), desc);
  const uint32_t needed = described ? uint32_t{desc.wCount} * desc.byWidth : 0;
  const auto read = [&](uint8_t* buffer, int32_t size, uint32_t room) {
    return directoryB ? image.ReadTableItemB(table, item, buffer, size, room)
                      : image.ReadTableItem(table, static_cast<uint8_t>(item), buffer, size, room);
  };

  // A width the reads do not serve (up to 127 bytes a value) must be refused before any value is
  // written: the guard alone stands for its buffer, which would be up to 8 MB.
  const bool served = desc.byWidth == 1 || desc.byWidth == 2 || desc.byWidth == 4;
  fuzzcheck::GuardedBuffer exact(described && !served ? 0 : needed);
  const int32_t result = read(exact.data(), 0, needed);
  FUZZ_CHECK(exact.GuardIntact());
  FUZZ_CHECK(result >= TABLE_OK && result <= TABLE_E_READ);
  if (!described) {
    FUZZ_CHECK(result == TABLE_E_NO_ITEM);
    return;
  }
  if (!served) {
    FUZZ_CHECK(result == TABLE_E_KIND || result == TABLE_E_WIDTH || (result == TABLE_OK && desc.wCount == 0));
    return;
  }
  FUZZ_CHECK(result != TABLE_E_NO_ITEM && result != TABLE_E_SIZE);
  if (result == TABLE_OK)
    for (uint32_t i = 0; i < desc.wCount; ++i) FUZZ_CHECK(ValueMatches(image, desc, exact.data(), i));

  // The size given as the item's own: the same answer.
  fuzzcheck::GuardedBuffer sized(needed);
  FUZZ_CHECK(read(sized.data(), static_cast<int32_t>(needed), needed) == result);
  FUZZ_CHECK(sized.GuardIntact());

  // One byte less room than the values need: refused before anything is written.
  if (needed > 0) {
    fuzzcheck::GuardedBuffer shorter(needed - 1, 0x5C);
    const int32_t refused = read(shorter.data(), 0, needed - 1);
    FUZZ_CHECK(refused != TABLE_OK && refused != TABLE_E_READ);
    FUZZ_CHECK(shorter.GuardIntact());
    for (size_t i = 0; i < shorter.size(); ++i) FUZZ_CHECK(shorter.data()[i] == 0x5C);
  }
}

void CheckLookups(CProgBase& image, uint16_t extraItem, uint8_t extraTable) {
  std::string softwareId = kUntouched;
  const bool found = image.ReadSoftwareIdText(softwareId, 1);
  if (found)
    FUZZ_CHECK(IsTextOfAtMost(softwareId, ParameterLength(image, "SwIdTxt")));
  else
    FUZZ_CHECK(softwareId == kUntouched);

  // The directories as the lookup left them.
  for (uint8_t table = 0; table < kProgTableDirSize; ++table) {
    for (uint16_t item = 0; item < 4; ++item) {
      CheckItem(image, false, table, item);
      CheckItem(image, true, table, item);
    }
    CheckItem(image, false, table, extraItem & 0xFF);
    CheckItem(image, true, table, extraItem);
  }
  CheckItem(image, false, extraTable, extraItem & 0xFF);
  CheckItem(image, true, extraTable, extraItem);

  ProgramIds ids{kUntouched, kUntouched};
  const IdLookup lookup = ReadProgramIds(image, ids);
  FUZZ_CHECK((lookup == IdLookup::noSoftwareId) == !found);
  if (lookup != IdLookup::ok) {
    FUZZ_CHECK(ids.softwareID == kUntouched && ids.calibrationID == kUntouched);
    return;
  }
  FUZZ_CHECK(ids.softwareID == softwareId);
  FUZZ_CHECK(IsTextOfAtMost(ids.calibrationID, ParameterLength(image, "CalIdTxt")));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Database();
  if (size < kSettings) return 0;
  CProgParse image;
  BuildImage(image, data, size);
  CheckLookups(image, static_cast<uint16_t>(data[8] | data[9] << 8), data[9]);
  return 0;
}
