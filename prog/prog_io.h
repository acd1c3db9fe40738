// Constants of the image's load and save (the archive buffer, the save modes, the stream results) and
// the results and records of its parameter tables.
#pragma once

#include <cstdint>

#include "platform/stream.h"

// Stream load and save results, besides S_OK, E_POINTER and E_OUTOFMEMORY.
inline constexpr HRESULT PROG_E_STREAM_STORE = static_cast<HRESULT>(0x80040207u);
inline constexpr HRESULT PROG_E_STREAM_LOAD = static_cast<HRESULT>(0x8004021Bu);
inline constexpr HRESULT PROG_E_STREAM_PARSE = static_cast<HRESULT>(0x80040220u);
inline constexpr HRESULT PROG_E_STREAM_NO_DATA = static_cast<HRESULT>(0x80040221u);

// Every archive over programming-file text has a buffer of this size.
inline constexpr int PROG_ARCHIVE_BUFFER = 4096;

// Save modes of CProgBase::SaveFile.
inline constexpr int kProgSavePlain = 0;
inline constexpr int kProgSaveProtected = 1;

// Results of ReadTableItem, in the order its tests run: 1, then 4 for a size mismatch, 2, 3, 5.
enum TableResult : int32_t {
  TABLE_OK = 0,
  TABLE_E_NO_ITEM = 1,
  TABLE_E_KIND = 2,
  TABLE_E_WIDTH = 3,
  TABLE_E_SIZE = 4,
  TABLE_E_READ = 5,
};

// One item of a parameter table, as its descriptor gives it.
struct TableItemDesc {
  uint32_t dwAddress = 0;  // image address of the first value
  uint8_t byAttr1 = 0;
  uint8_t byAttr2 = 0;
  uint16_t wCount = 0;  // number of values
  uint8_t byKind = 0;   // 0 to 3; reads take 0 and 2, writes only 2
  uint8_t byWidth = 0;  // bytes per value; 1, 2 and 4 are served
};

// A directory entry whose count is a 16-bit word.
struct TableDirEntryWide {
  uint32_t dwAddress = 0;
  uint16_t wCount = 0;
};

// The most room an item can need: 65535 values of 4 bytes.
inline constexpr uint32_t kTableMaxItemBytes = 65535u * 4u;
