// The in-memory image of one controller programming file.
#pragma once

#include <cstdint>
#include <list>
#include <string>
#include <vector>

#include "platform/archive.h"
#include "prog/prog_codes.h"
#include "prog/prog_io.h"

// One data record: up to 64 bytes at a 32-bit address.
class CProgRecord {
 public:
  CProgRecord() = default;
  CProgRecord(const CProgRecord&) = default;  // all 64 data bytes, also those past m_nLength
  CProgRecord& operator=(const CProgRecord&) = default;
  virtual ~CProgRecord() = default;

  // True when this record holds address a. Computed in 64 bits: a record that ends at the top
  // of the address space does not wrap round to 0.
  bool Holds(uint32_t a) const { return a >= m_dwAddress && uint64_t{a} < uint64_t{m_dwAddress} + m_nLength; }

  uint32_t m_dwAddress = 0;
  uint8_t m_nLength = 0;
  uint8_t m_data[PROG_MAX_RECORD_DATA] = {};
  uint8_t m_bModified = 0;
  uint8_t m_nRecordType = 0;
};

// An initialised RAM range whose contents the image holds at a ROM address.
class CInitRAMSection {
 public:
  CInitRAMSection() = default;
  CInitRAMSection(uint32_t ram, uint32_t rom, uint32_t length)
      : m_dwRAMAddress(ram), m_dwROMAddress(rom), m_dwLength(length) {}
  virtual ~CInitRAMSection() = default;

  bool HoldsRAM(uint32_t a) const { return a >= m_dwRAMAddress && uint64_t{a} < uint64_t{m_dwRAMAddress} + m_dwLength; }

  uint32_t m_dwRAMAddress = 0;
  uint32_t m_dwROMAddress = 0;
  uint32_t m_dwLength = 0;
};

// Records are kept by value in a linked list: a position stays valid while other records come
// and go, and a record moves between the image and a page by splicing, without a copy.
using CProgRecordList = std::list<CProgRecord>;
using RecordPos = CProgRecordList::iterator;

// A page of the image: an ordered list of records that it owns.
class CMultiProgRecord {
 public:
  CMultiProgRecord() = default;
  CMultiProgRecord(const CMultiProgRecord&) = default;
  CMultiProgRecord& operator=(const CMultiProgRecord&) = default;
  virtual ~CMultiProgRecord() = default;

  CProgRecordList m_listRecords;
};

struct TableDirEntry {
  uint32_t dwAddress = 0;
  uint8_t byCount = 0;
};

inline constexpr int kProgTableDirSize = 8;

class CProgBase {
 public:
  CProgBase(const CProgBase& other);
  CProgBase& operator=(const CProgBase& other);
  virtual ~CProgBase();

  // Loads or stores the image in the archive's direction; returns a result code.
  virtual int Serialize(CArchive& ar) = 0;

  // ---- the image and its records
  void Reset();
  CProgBase& CopyRecords(const CProgBase& other);
  bool AddInitRAMSection(uint32_t ramAddress, uint32_t romAddress, uint32_t length);

  // ---- byte access by address
  bool FindRecord(uint32_t address);
  bool GetBytes(uint32_t address, uint8_t* buffer, uint8_t count);
  bool PutByte(uint32_t address, uint8_t value);
  bool PutBytes(uint32_t address, const uint8_t* buffer, uint8_t count);
  uint32_t GetDataByteCount() const;
  int32_t GetRecordListCount() const;
  int32_t GetPageRecordCount() const;
  int32_t GetRecordCount() const;

  // ---- byte substitution (the plain pair applies only while m_nFileType is 1)
  uint8_t EncodeByte(uint8_t b) const;  // inline below: on the path of every data byte
  uint8_t DecodeByte(uint8_t b) const;
  uint8_t AltEncodeByte(uint8_t b) const;
  uint8_t AltDecodeByte(uint8_t b) const;
  uint16_t EncodeWord(uint16_t v) const;
  uint16_t DecodeWord(uint16_t v) const;
  uint16_t AltEncodeWord(uint16_t v) const;
  uint16_t AltDecodeWord(uint16_t v) const;
  uint32_t EncodeLong(uint32_t v) const;
  uint32_t DecodeLong(uint32_t v) const;
  uint32_t AltEncodeLong(uint32_t v) const;
  uint32_t AltDecodeLong(uint32_t v) const;

  // ---- load and save
  // PROG_FORMAT_UNKNOWN, PROG_FORMAT_INTEL_HEX or PROG_FORMAT_SRECORD by the file's first record line.
  int DetectFileType(std::string path);
  // Loads a plain programming file; a failure is shown to the user.
  bool LoadFile(std::string path);
  // Parses the open file into the image; code receives the parse result. Always true.
  bool ReadArchive(CFile& file, int& code);
  // Loads the stream's content from its current position, protected or plain.
  HRESULT LoadFromStream(IStream* stream);
  // A new stream holding the image as text, protected when the last stream load was protected.
  HRESULT SaveToStream(IStream** stream);
  // Mode kProgSaveProtected writes to path (the protected form when it ends in ".srz"); any
  // other mode writes plain text to path with its extension made ".sr". The file is replaced only
  // once the new text is complete.
  bool SaveFile(std::string path, const char* leadingText, bool noPrompt, int mode);

  // ---- parameter tables
  // Reads item's values into buffer in host order. size 0 skips the size test; room is the most
  // the buffer takes, and an item that needs more is refused with TABLE_E_SIZE.
  int32_t ReadTableItem(uint8_t table, uint8_t item, uint8_t* buffer, int32_t size, uint32_t room);
  int32_t ReadTableItemB(uint8_t table, uint16_t item, uint8_t* buffer, int32_t size, uint32_t room);
  bool GetTableItemAddress(uint8_t table, uint8_t item, uint32_t& address);
  bool GetTableItemAddressB(uint8_t table, uint16_t item, uint32_t& address);
  // values: wCount values of byWidth bytes in host order.
  bool WriteTableItem(uint8_t table, uint8_t item, const uint8_t* values);
  bool WriteTableItemB(uint8_t table, uint16_t item, const uint8_t* values);
  bool GetItemDescriptor(uint8_t table, uint8_t item, TableItemDesc& desc);
  bool GetItemDescriptorB(uint8_t table, uint16_t item, TableItemDesc& desc);
  bool ReadDirectoryEntry(uint32_t address, TableDirEntry& entry);
  bool ReadDirectoryEntryWide(uint32_t address, TableDirEntryWide& entry);
  // A pointer of m_nMachineWordSize bytes; banked 2-byte pointers take bits 16-23 from address.
  bool ReadPointer(uint32_t address, uint32_t& pointer, bool banked);
  // Values in the image's byte order (m_nEndian 0: big-endian), handed over in host order.
  bool ReadByte(uint32_t address, uint8_t& value);
  bool ReadWord(uint32_t address, uint16_t& value);
  bool ReadLong(uint32_t address, uint32_t& value);
  bool WriteByte(uint32_t address, uint8_t value);
  bool WriteWord(uint32_t address, uint16_t value);
  bool WriteLong(uint32_t address, uint32_t value);
  static void ReverseBytes(uint8_t* buffer, uint8_t count);
  static void ReverseWord(uint8_t* buffer);
  static void ReverseLong(uint8_t* buffer);
  // Reverses a value of m_nMachineWordSize bytes when that is 2 or 4.
  void SwapToTarget(uint8_t* buffer) const;
  bool ClearTableSettings();
  // Fills both table directories and reads the "SwIdTxt" text through the controller database.
  // useDefaults lets unreadable database ids fall back to the default ones.
  bool ReadSoftwareIdText(std::string& text, int useDefaults);
  bool CheckSoftwareIdText(const std::string& expected, int useDefaults);

  // ---- image header
  // Reads the header at headerAddress into the identifier and map members; on the first failing
  // field shows that field's message and returns false.
  bool ReadImageHeader(uint32_t headerAddress);
  int ReadHeaderEcuId(uint32_t headerAddress);
  int ReadHeaderProjectId(uint32_t headerAddress);
  int ReadHeaderEndian(uint32_t headerAddress);
  int ReadHeaderWordSize(uint32_t headerAddress);
  int ReadHeaderMapAddresses(uint32_t headerAddress);
  int ReadHeaderMapLengths(uint32_t headerAddress);
  // The header word is stored most significant byte first whatever the target's byte order.
  int WriteHeaderWord(uint32_t headerAddress, uint16_t value);

  // ---- whole-image operations
  // Rebuilds the records of [start, start + length) as records of recordLength bytes at start
  // plus multiples of recordLength; bytes no record supplied carry fill. False, with nothing
  // changed, for a length outside 1 to 64, a range past the top of the address space, a span
  // above kProgMaxFlatBuffer or a buffer that cannot be had.
  bool ReblockAll(uint8_t recordLength, uint8_t fill);
  bool Reblock(uint8_t recordLength, uint32_t start, uint32_t length, uint8_t fill);
  // Records whose first address lies in [start, end) move to newStart + (address - start); false,
  // and nothing changed, when a moved record would pass the top of the address space.
  bool MoveRange(uint32_t start, uint32_t end, uint32_t newStart);
  // Saves (plain form) only the records whose first address lies in [low, high], or only the others.
  bool SaveRange(uint32_t low, uint32_t high, std::string path, const char* leadingText, bool noPrompt);
  bool SaveExcludingRange(uint32_t low, uint32_t high, std::string path, const char* leadingText, bool noPrompt);
  uint32_t GetUsedLength(uint32_t start, uint32_t limit) const;
  // Flat copies in a buffer from AllocBuffer, released by the caller with FreeBuffer. They return
  // the buffer's size, or 0 (buffer untouched) for an empty or unsupported size or when memory is short.
  uint32_t GetFlatImage(uint8_t** outBuffer, uint8_t fill) const;
  uint32_t GetImageRange(uint8_t** outBuffer, uint8_t fill, uint32_t start, uint32_t length) const;
  uint32_t GetImageRangeAltEncoded(uint8_t** outBuffer, uint8_t fill, uint32_t start, uint32_t length) const;
  // Walks: the position is m_listRecords.end() / m_listPages.end() once past the last.
  using PagePos = std::list<CMultiProgRecord>::iterator;
  RecordPos GetFirstRecordPosition();
  CProgRecord& GetNextRecord(RecordPos& pos);
  PagePos GetFirstPagePosition();
  CMultiProgRecord& GetNextPage(PagePos& pos);
  // Moves the records whose first address lies in [low, high] into pageSize / divisor new pages,
  // by (address & (pageSize - 1)) / divisor. False, with nothing changed, without records, for a
  // divisor 0 and for a page size that is not a power of two or not a multiple of the divisor.
  bool SplitIntoPages(uint32_t low, uint32_t high, uint32_t pageSize, uint8_t divisor);

  // ---- CRC block
  // Writes the CRC-32 of each entry's range into the block that m_dwCRCBlockPointer points to.
  bool UpdateCrcBlock();
  // CRC-32 of [start, start + length), bytes no record holds counted as 0xFF; 0 for an empty or
  // unsupported range.
  uint32_t GetRangeCrc(uint32_t start, uint32_t length) const;

  // True when the cursor is at no record.
  bool CursorIsNone() const { return m_posCursor == m_listRecords.end(); }

  // Members, in the order the image's documentation gives them.
  std::string m_strProjectId;
  std::string m_strEcuId;
  uint8_t m_nHeaderWordSize = 0;
  std::vector<uint32_t> m_arrMapLengths;
  std::vector<uint32_t> m_arrMapAddresses;
  int32_t m_nFormat = PROG_FORMAT_UNKNOWN;
  uint32_t m_dwStartAddress = 0;
  uint8_t m_nTermination = 0;
  uint32_t m_nLineNumber = 0;
  std::string m_strProject;
  uint8_t m_nEndian = 0;
  uint32_t m_dwTableAddress = 0;
  uint8_t m_nMachineWordSize = 0;
  uint8_t m_bWriteCountRecord = 1;
  uint8_t m_bBankedMemoryModel = 0;
  uint16_t m_wSoftwareVersionID = 0;
  uint32_t m_dwCRCBlockPointer = 0;
  uint32_t m_nTableLayout = 0;
  int32_t m_nFileType = 0;
  uint32_t m_dwModuleConfigAddress = 0;
  RecordPos m_posCursor;  // m_listRecords.end() is "none"
  CProgRecordList m_listRecords;
  std::list<CMultiProgRecord> m_listPages;
  std::list<CInitRAMSection> m_listInitRAM;
  uint8_t m_bProtectedOutput = 0;
  uint8_t m_bLoadedProtected = 0;
  TableDirEntry m_dirTables[kProgTableDirSize] = {};
  TableDirEntry m_dirTablesB[kProgTableDirSize] = {};

 protected:
  CProgBase();

 private:
  void CopySettingsAndRecords(const CProgBase& other);
  // The record byte that stands for address (directly, or through an init-RAM section's ROM
  // copy), or nullptr.
  uint8_t* LocateByte(uint32_t address);
};

// The S-record / Intel HEX text form of the image.
class CProgParse : public CProgBase {
 public:
  CProgParse();
  CProgParse(const CProgParse& other);
  CProgParse& operator=(const CProgParse& other) = default;
  ~CProgParse() override;

  int Serialize(CArchive& ar) override;

  int ParseS1Record(const std::string& line, CProgRecord& record);
  int ParseS2Record(const std::string& line, CProgRecord& record);
  int ParseS3Record(const std::string& line, CProgRecord& record);
  int ParseHexDataRecord(const std::string& line, CProgRecord& record);
  int ParseHexExtAddressRecord(const std::string& line);
  int ParseHexEndRecord(const std::string& line);

  uint32_t m_dwUpperAddress = 0;

 private:
  int Load(CArchive& ar);
  void Store(CArchive& ar);
};

// Parses length bytes of programming-file text at bytes into image, through a memory file over
// them (they stay the caller's) and a loading archive with the usual buffer. Returns the parse's
// result code; on a failure the image holds what the lines before the failing one gave, and
// m_nLineNumber is that line.
int ParseProgramText(CProgBase& image, uint8_t* bytes, uint32_t length);

// The same for the bytes of a programming file as read: decoded first when they are a protected
// text (wasProtected then says so, before the parse), else parsed as they are.
int ParseProgramBytes(CProgBase& image, uint8_t* bytes, uint32_t length, bool& wasProtected);

extern const uint8_t g_EncodeTable[256];
extern const uint8_t g_DecodeTable[256];
extern const uint8_t g_AltEncodeTable[256];
extern const uint8_t g_AltDecodeTable[256];

inline uint8_t CProgBase::EncodeByte(uint8_t b) const { return m_nFileType == 1 ? g_EncodeTable[b] : b; }
inline uint8_t CProgBase::DecodeByte(uint8_t b) const { return m_nFileType == 1 ? g_DecodeTable[b] : b; }
inline uint8_t CProgBase::AltEncodeByte(uint8_t b) const { return g_AltEncodeTable[b]; }
inline uint8_t CProgBase::AltDecodeByte(uint8_t b) const { return m_nFileType == 1 ? g_AltDecodeTable[b] : b; }
