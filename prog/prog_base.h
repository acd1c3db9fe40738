// The in-memory image of one controller programming file.
#pragma once

#include <cstdint>
#include <list>
#include <string>
#include <vector>

#include "platform/archive.h"
#include "prog/prog_codes.h"

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
  CInitRAMSection(uint32_t ram, uint32_t rom, uint32_t length) : m_dwRAMAddress(ram), m_dwROMAddress(rom), m_dwLength(length) {}
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

inline constexpr int PROG_TABLE_DIR_SIZE = 8;

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
  bool SaveFile(std::string path, const char* leadingText, bool noPrompt, int mode);

  // ---- parameter tables

  // ---- image header

  // ---- whole-image operations

  // ---- CRC block

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
  TableDirEntry m_dirTables[PROG_TABLE_DIR_SIZE] = {};
  TableDirEntry m_dirTablesB[PROG_TABLE_DIR_SIZE] = {};

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
  void ReadHeaderKeys(const std::string& line);
  int ParseS5Record(const std::string& line);
  int ParseS7Record(const std::string& line);
  int ParseS9Record(const std::string& line);
};

extern const uint8_t g_EncodeTable[256];
extern const uint8_t g_DecodeTable[256];
extern const uint8_t g_AltEncodeTable[256];
extern const uint8_t g_AltDecodeTable[256];

inline uint8_t CProgBase::EncodeByte(uint8_t b) const { return m_nFileType == 1 ? g_EncodeTable[b] : b; }
inline uint8_t CProgBase::DecodeByte(uint8_t b) const { return m_nFileType == 1 ? g_DecodeTable[b] : b; }
inline uint8_t CProgBase::AltEncodeByte(uint8_t b) const { return g_AltEncodeTable[b]; }
inline uint8_t CProgBase::AltDecodeByte(uint8_t b) const { return m_nFileType == 1 ? g_AltDecodeTable[b] : b; }
