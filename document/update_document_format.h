// The update document file (".rvq"): see docs/update-document-format.md for the layout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "document/update_document_data.h"

namespace rvq {

inline constexpr uint8_t kMagic[8] = {0x89, 'R', 'V', 'Q', 0x0D, 0x0A, 0x1A, 0x0A};
inline constexpr uint32_t kFormatVersion = 1;
// Magic, version and the closing CRC: the least a file can hold.
inline constexpr std::size_t kHeaderSize = sizeof kMagic + 4;
inline constexpr std::size_t kMinimumSize = kHeaderSize + 4;

enum class DecodeResult { ok, notDocument, newerVersion, damaged };

// The file's bytes for doc. False (and nothing in bytes) when a member is too long for the
// format's 32-bit lengths.
bool Encode(const CUpdateDocumentData& doc, std::string& bytes);

// Reads a whole file's bytes into out, which is only replaced when the result is ok. version
// receives the file's format version when the magic matched.
DecodeResult Decode(const uint8_t* data, std::size_t size, CUpdateDocumentData& out, uint32_t* version = nullptr);

// File level: the messages name the file and say what went wrong. A failed load leaves out as
// it was; a failed save leaves the file at path as it was.
bool LoadFile(const std::string& path, CUpdateDocumentData& out, std::string& message);
bool SaveFile(const std::string& path, const CUpdateDocumentData& doc, std::string& message);

}  // namespace rvq
