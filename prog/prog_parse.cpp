// CProgParse: reads S-record and Intel HEX text into the image, writes it back as S-record text.
#include <array>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/exceptions.h"
#include "platform/text.h"
#include "prog/prog_base.h"
#include "prog/scan.h"

CProgParse::CProgParse() { m_nFormat = PROG_FORMAT_SRECORD; }

CProgParse::CProgParse(const CProgParse& other) : CProgBase(other), m_dwUpperAddress(other.m_dwUpperAddress) {}

CProgParse::~CProgParse() = default;

// ---------------------------------------------------------------- record-line parsers

namespace {

// The three S-record data kinds differ only in these.
struct SRecordKind {
  char letter;             // the second character of the head
  unsigned addressDigits;  // width of the address in the head
  unsigned overhead;       // count byte minus data length: address bytes + checksum
  int headFailure;
  int byteFailure;
  int lengthFailure;
};

constexpr SRecordKind kS1{'1', 4, 3, PROG_E_S1_RECORD, PROG_E_S1_RECORD, PROG_E_DATA_LENGTH};
constexpr SRecordKind kS2{'2', 6, 4, PROG_E_S2_S3_RECORD, PROG_E_S1_RECORD, PROG_E_DATA_LENGTH};
constexpr SRecordKind kS3{'3', 8, 5, PROG_E_S2_S3_RECORD, PROG_E_S2_S3_RECORD, PROG_E_S3_DATA_LENGTH};

uint8_t ByteSum(uint32_t v) {
  return static_cast<uint8_t>((v & 0xFF) + ((v >> 8) & 0xFF) + ((v >> 16) & 0xFF) + (v >> 24));
}

#if defined(__SSE2__)
// Sixteen hex digits to eight bytes; false when any of them is not a hex digit.
inline bool HexBlock16(const char* in, uint8_t* out) {
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
  const __m128i digit = _mm_sub_epi8(v, _mm_set1_epi8('0'));
  const __m128i isDigit = _mm_cmpeq_epi8(_mm_min_epu8(digit, _mm_set1_epi8(9)), digit);
  const __m128i alpha = _mm_sub_epi8(_mm_or_si128(v, _mm_set1_epi8(0x20)), _mm_set1_epi8('a'));
  const __m128i isAlpha = _mm_cmpeq_epi8(_mm_min_epu8(alpha, _mm_set1_epi8(5)), alpha);
  if (_mm_movemask_epi8(_mm_or_si128(isDigit, isAlpha)) != 0xFFFF) return false;
  const __m128i value =
      _mm_or_si128(_mm_and_si128(isDigit, digit), _mm_and_si128(isAlpha, _mm_add_epi8(alpha, _mm_set1_epi8(10))));
  // Each 16-bit lane holds the high digit in its low byte and the low digit in its high byte.
  const __m128i bytes =
      _mm_or_si128(_mm_slli_epi16(_mm_and_si128(value, _mm_set1_epi16(0x00FF)), 4), _mm_srli_epi16(value, 8));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(bytes, bytes));
  return true;
}
#endif

// Reads n byte pairs, the first at position start, into out. A line of plain digits takes the
// quick way; anything else goes pair by pair with the full rules.
bool ReadPairs(std::string_view line, size_t start, unsigned n, uint8_t* out) {
  if (start + 2 * size_t{n} <= line.size()) {
    const char* p = line.data() + start;
    unsigned i = 0;
    bool ok = true;
#if defined(__SSE2__)
    for (; ok && i + 8 <= n; i += 8) ok = HexBlock16(p + 2 * i, out + i);
#endif
    int bad = ok ? 0 : -1;
    for (; i < n; ++i) {
      const int hi = scan::HexValue(p[2 * i]);
      const int lo = scan::HexValue(p[2 * i + 1]);
      bad |= hi | lo;
      out[i] = static_cast<uint8_t>(((hi & 0xF) << 4) | (lo & 0xF));
    }
    if (bad >= 0) return true;
  }
  for (unsigned i = 0; i < n; ++i)
    if (!scan::Pair(line, start + 2 * i, out[i])) return false;
  return true;
}

int ParseSData(const CProgBase& image, std::string_view line, CProgRecord& record, const SRecordKind& kind) {
  // Head: "Sn%2x%<digits>lx".
  if (line.size() < 2 || line[0] != 'S' || line[1] != kind.letter) return kind.headFailure;
  size_t pos = 2;
  uint32_t count = 0;
  if (!scan::Hex(line, pos, 2, count) || !scan::Hex(line, pos, kind.addressDigits, record.m_dwAddress))
    return kind.headFailure;
  record.m_nLength = static_cast<uint8_t>(count - kind.overhead);
  if (record.m_nLength > PROG_MAX_RECORD_DATA) return kind.lengthFailure;

  // Byte j of the record (count, address, data, checksum) stands at 2j.
  uint8_t bytes[PROG_MAX_RECORD_DATA + 8];
  if (!ReadPairs(line, 2, count + 1, bytes)) return kind.byteFailure;
  uint8_t sum = 0;
  for (unsigned j = 0; j < count; ++j) sum = static_cast<uint8_t>(sum + bytes[j]);
  const uint8_t* data = bytes + kind.overhead;
  if (image.m_nFileType == 1)
    for (unsigned i = 0; i < record.m_nLength; ++i) record.m_data[i] = image.DecodeByte(data[i]);
  else
    std::memcpy(record.m_data, data, record.m_nLength);
  if (static_cast<uint8_t>(~sum) != bytes[count]) return PROG_E_CHECKSUM;
  return PROG_OK;
}

// An Intel HEX record with one 16-bit field, the one field of pattern, into value. The field's two
// bytes and the checksum stand at positions; the record's other bytes sum to base.
int ParseHexFieldRecord(const std::string& line, const char* pattern, const std::array<size_t, 3>& positions,
                        uint8_t base, uint32_t& value) {
  if (scan::Pattern(line, pattern, &value) < 1) return PROG_E_S1_RECORD;
  std::array<uint8_t, 3> b{};
  for (size_t i = 0; i < b.size(); ++i)
    if (!scan::Pair(line, positions[i], b[i])) return PROG_E_HEX_RECORD_BYTE;
  const uint8_t sum = static_cast<uint8_t>(base + b[0] + b[1]);
  if (static_cast<uint8_t>(0u - sum) != b[2]) return PROG_E_CHECKSUM;
  return PROG_OK;
}

}  // namespace

int CProgParse::ParseS1Record(const std::string& line, CProgRecord& record) {
  return ParseSData(*this, line, record, kS1);
}
int CProgParse::ParseS2Record(const std::string& line, CProgRecord& record) {
  return ParseSData(*this, line, record, kS2);
}
int CProgParse::ParseS3Record(const std::string& line, CProgRecord& record) {
  return ParseSData(*this, line, record, kS3);
}

int CProgParse::ParseHexDataRecord(const std::string& line, CProgRecord& record) {
  size_t pos = 1;
  uint32_t n = 0;
  uint32_t address = 0;
  if (line.empty() || line[0] != ':' || !scan::Hex(line, pos, 2, n) || !scan::Hex(line, pos, 4, address))
    return PROG_E_HEX_DATA_RECORD;
  record.m_dwAddress = address + m_dwUpperAddress;
  record.m_nLength = static_cast<uint8_t>(n);
  if (n > PROG_MAX_RECORD_DATA) return PROG_E_DATA_LENGTH;
  // Byte j stands at 2j + 1: length, two address bytes, type, data, checksum.
  uint8_t bytes[PROG_MAX_RECORD_DATA + 8];
  if (!ReadPairs(line, 1, n + 5, bytes)) return PROG_E_HEX_DATA_RECORD;
  uint8_t sum = 0;
  for (uint32_t j = 0; j < n + 4; ++j) sum = static_cast<uint8_t>(sum + bytes[j]);
  for (uint32_t i = 0; i < n; ++i) record.m_data[i] = DecodeByte(bytes[4 + i]);
  if (static_cast<uint8_t>(0u - sum) != bytes[n + 4]) return PROG_E_CHECKSUM;
  return PROG_OK;
}

int CProgParse::ParseHexExtAddressRecord(const std::string& line) {
  // Length 02, address 0000 and type 04 sum to 6.
  uint32_t value = 0;
  const int result = ParseHexFieldRecord(line, ":02000004%4lx", {9, 11, 13}, 6, value);
  if (result == PROG_OK) m_dwUpperAddress = value << 16;
  return result;
}

int CProgParse::ParseHexEndRecord(const std::string& line) {
  // Length 00 and type 01 sum to 1; the field is the address.
  uint32_t address = 0;
  const int result = ParseHexFieldRecord(line, ":00%4lx", {3, 5, 9}, 1, address);
  if (result == PROG_OK) {
    m_dwStartAddress = DecodeLong(address);
    m_nTermination = 7;
  }
  return result;
}

// ---------------------------------------------------------------- load

namespace {

// A line's kind, told by its first character alone.
enum class LineKind { comment, sRecord, intelHex };

LineKind KindOf(const std::string& line) {
  if (line.empty()) return LineKind::comment;
  return line[0] == 'S' ? LineKind::sRecord : line[0] == ':' ? LineKind::intelHex : LineKind::comment;
}

// True when pattern, matched from the start of line, yields all N of its fields.
template <size_t N>
bool Fields(const std::string& line, const char* pattern, uint32_t (&f)[N]) {
  return scan::Pattern(line, pattern, f) == static_cast<int>(N);
}

// A key of the header comment block and what a line holding it sets.
struct HeaderKey {
  const char* key;
  void (*apply)(CProgBase& image, const std::string& line);
};

// In the order they are tried: the first key found anywhere in a comment line decides; its pattern
// must then match from the start of the line with all its fields, or the line changes nothing.
constexpr HeaderKey kHeaderKeys[] = {
    {"Project",
     [](CProgBase& image, const std::string& line) {
       std::string word;
       if (scan::Pattern(line, "// Project=%s\n", nullptr, &word) == 1) image.m_strProject = word;
     }},
    {"Endian",
     [](CProgBase& image, const std::string& line) {
       uint32_t f[1] = {};
       if (Fields(line, "// Endian=%d", f)) image.m_nEndian = static_cast<uint8_t>(f[0]);
     }},
    {"TableAddress",
     [](CProgBase& image, const std::string& line) {
       uint32_t f[2] = {};
       uint32_t plain[1] = {};
       if (Fields(line, "// TableAddress[%lu]=0x%lX", f)) {
         image.m_nTableLayout = f[0];
         image.m_dwTableAddress = f[1];
       } else if (Fields(line, "// TableAddress=0x%lX", plain)) {
         image.m_dwTableAddress = plain[0];
         image.m_nTableLayout = 0;
       }
     }},
    {"MachineWordSize",
     [](CProgBase& image, const std::string& line) {
       uint32_t f[1] = {};
       if (Fields(line, "// MachineWordSize=%d", f)) image.m_nMachineWordSize = static_cast<uint8_t>(f[0]);
     }},
    {"BankedMemoryModel",
     [](CProgBase& image, const std::string& line) {
       uint32_t f[1] = {};
       if (Fields(line, "// BankedMemoryModel=%d", f)) image.m_bBankedMemoryModel = static_cast<uint8_t>(f[0]);
     }},
    {"SoftwareVersionID",
     [](CProgBase& image, const std::string& line) {
       uint32_t f[1] = {};
       if (Fields(line, "// SoftwareVersionID=%lu", f)) image.m_wSoftwareVersionID = static_cast<uint16_t>(f[0]);
     }},
    {"CRCBlockPointer",
     [](CProgBase& image, const std::string& line) {
       uint32_t f[1] = {};
       if (Fields(line, "// CRCBlockPointer=0x%lX", f)) image.m_dwCRCBlockPointer = f[0];
     }},
    {"ModuleConfigAddress",
     [](CProgBase& image, const std::string& line) {
       uint32_t f[1] = {};
       if (Fields(line, "// ModuleConfigAddress=0x%lX", f)) image.m_dwModuleConfigAddress = f[0];
     }},
    {"FileType",
     [](CProgBase& image, const std::string& line) {
       uint32_t f[1] = {};
       if (Fields(line, "// FileType=%d", f)) image.m_nFileType = static_cast<int32_t>(f[0]);
     }},
    {"InitRAMSection",
     [](CProgBase& image, const std::string& line) {
       uint32_t f[3] = {};
       // Straight into the list: running out of memory here must fail the load, not drop the section.
       if (Fields(line, "// InitRAMSection=RAM[0x%lX],ROM[0x%lX],Length[0x%lX]", f))
         image.m_listInitRAM.emplace_back(f[0], f[1], f[2]);
     }},
};

// What both readers share: the header keys of the comment lines and the insertion of data
// records.
class TextReader {
 public:
  explicit TextReader(CProgParse& image) : m_image(image) {}

  void ReadHeaderKeys(const std::string& line) {
    for (const HeaderKey& k : kHeaderKeys) {
      if (line.find(k.key) != std::string::npos) {
        k.apply(m_image, line);
        return;
      }
    }
  }

  // Parses into a new record at the end of the list, which keeps it with its kind on success and
  // drops it again on failure.
  template <typename Parse>
  int AddRecord(uint8_t kind, Parse parse) {
    CProgRecord& record = m_image.m_listRecords.emplace_back();
    const int result = parse(record);
    if (result == PROG_OK)
      record.m_nRecordType = kind;
    else
      m_image.m_listRecords.pop_back();
    return result;
  }

  CProgParse& m_image;
};

// S-record lines; S0 is read unchecked, S5, S7 and S9 here rather than by the image's parsers.
class SRecordReader {
 public:
  explicit SRecordReader(TextReader& text) : m_text(text), m_image(text.m_image) {}

  int ReadRecord(const std::string& line) {
    const char kind = line.size() > 1 ? line[1] : '\0';
    switch (kind) {
      case '0': return PROG_OK;  // header record: ignored unchecked
      case '1': return m_text.AddRecord(1, [&](CProgRecord& r) { return m_image.ParseS1Record(line, r); });
      case '2': return m_text.AddRecord(2, [&](CProgRecord& r) { return m_image.ParseS2Record(line, r); });
      case '3': return m_text.AddRecord(3, [&](CProgRecord& r) { return m_image.ParseS3Record(line, r); });
      case '5': return ReadCount(line);
      case '7': return ReadStart(line, "S705%8lx%2hx", 5, PROG_E_S7_RECORD, 7);
      case '9': return ReadStart(line, "S903%4lx%2hx", 3, PROG_E_S9_RECORD, 9);
      default: return PROG_E_RECORD_TYPE;
    }
  }

 private:
  // The count of the data records read so far, in two bytes or four.
  int ReadCount(const std::string& line) {
    uint32_t f[3] = {};
    const bool wide = Fields(line, "S5%2hx%8lx%2hx", f);
    if (!wide && !Fields(line, "S5%2hx%4lx%2hx", f)) return PROG_E_S5_RECORD;
    const uint8_t sum = static_cast<uint8_t>((f[0] & 0xFF) + ByteSum(f[1]));
    if (static_cast<uint8_t>(~sum) != (f[2] & 0xFFFF)) return PROG_E_CHECKSUM;
    const uint32_t count = wide ? m_image.DecodeLong(f[1]) : m_image.DecodeWord(static_cast<uint16_t>(f[1]));
    if (count != m_image.m_listRecords.size()) return PROG_E_RECORD_COUNT;
    return PROG_OK;
  }

  // The start address from an S7 record (four address bytes) or an S9 (two); count is the record's
  // count byte, which the checksum covers with the address.
  int ReadStart(const std::string& line, const char* pattern, uint8_t count, int failure, uint8_t termination) {
    uint32_t f[2] = {};
    if (!Fields(line, pattern, f)) return failure;
    if (static_cast<uint8_t>(~(count + ByteSum(f[0]))) != (f[1] & 0xFFFF)) return PROG_E_CHECKSUM;
    m_image.m_dwStartAddress =
        termination == 7 ? m_image.DecodeLong(f[0]) : m_image.DecodeWord(static_cast<uint16_t>(f[0]));
    m_image.m_nTermination = termination;
    return PROG_OK;
  }

  TextReader& m_text;
  CProgParse& m_image;
};

// Intel HEX lines: data, extended linear address and end-of-file records.
class IntelHexReader {
 public:
  explicit IntelHexReader(TextReader& text) : m_text(text), m_image(text.m_image) {}

  int ReadRecord(const std::string& line) {
    // The type is told by the ninth character; a shorter line has none to read.
    if (line.size() < 8) AfxThrowInvalidArgException();
    const char type = line.size() > 8 ? line[8] : '\0';
    switch (type) {
      case '0': return m_text.AddRecord(3, [&](CProgRecord& r) { return m_image.ParseHexDataRecord(line, r); });
      case '4': return m_image.ParseHexExtAddressRecord(line);
      case '1': return m_image.ParseHexEndRecord(line);
      default: return PROG_E_RECORD_TYPE;
    }
  }

 private:
  TextReader& m_text;
  CProgParse& m_image;
};

}  // namespace

int CProgParse::Serialize(CArchive& ar) {
  if (ar.IsLoading()) return Load(ar);
  Store(ar);
  return PROG_OK;
}

int CProgParse::Load(CArchive& ar) {
  Reset();
  TextReader text(*this);
  SRecordReader sRecords(text);
  IntelHexReader intelHex(text);
  // A text may change format from one record line to the next: each line goes to the reader of
  // its kind, and the first failing line ends the load.
  std::string line;
  int result = PROG_OK;
  while (result == PROG_OK && ar.ReadString(line)) {
    ++m_nLineNumber;
    switch (KindOf(line)) {
      case LineKind::comment: text.ReadHeaderKeys(line); break;
      case LineKind::sRecord: result = sRecords.ReadRecord(line); break;
      case LineKind::intelHex: result = intelHex.ReadRecord(line); break;
    }
  }
  if (result == PROG_OK && m_listRecords.empty()) result = PROG_E_NO_DATA;
  return result;
}

// ---------------------------------------------------------------- store

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// The two upper-case digits of every byte value, for the data bytes of a line.
constexpr auto kHexPairs = [] {
  std::array<char, 512> t{};
  for (int b = 0; b < 256; ++b) {
    t[2 * b] = kHexDigits[b >> 4];
    t[2 * b + 1] = kHexDigits[b & 0xF];
  }
  return t;
}();
constexpr const char* kRule = "/////////////////////////////////////////////////////////\n";

char* PutHex(char* p, uint32_t v, int digits) {
  for (int i = digits - 1; i >= 0; --i) p[digits - 1 - i] = kHexDigits[(v >> (4 * i)) & 0xF];
  return p + digits;
}

// "Sc" + count byte + value of `digits` hex digits + checksum over count and value bytes + LF.
void WriteShortRecord(CArchive& ar, char kind, uint8_t count, uint32_t value, int digits) {
  char buf[24];
  char* p = buf;
  *p++ = 'S';
  *p++ = kind;
  p = PutHex(p, count, 2);
  p = PutHex(p, value, digits);
  p = PutHex(p, static_cast<uint8_t>(~(count + ByteSum(value))), 2);
  *p++ = '\n';
  ar.WriteString(std::string_view(buf, static_cast<size_t>(p - buf)));
}

}  // namespace

void CProgParse::Store(CArchive& ar) {
  if (m_nMachineWordSize != 0 && m_bProtectedOutput) {
    ar.WriteString(kRule);
    ar.WriteString(tessary::Format("// Project=%s\n", m_strProject.c_str()));
    ar.WriteString(tessary::Format("// Endian=%d\n", m_nEndian));
    ar.WriteString(tessary::Format("// MachineWordSize=%d\n", m_nMachineWordSize));
    ar.WriteString(tessary::Format("// BankedMemoryModel=%d\n", m_bBankedMemoryModel));
    ar.WriteString(tessary::Format("// TableAddress[%u]=0x%X\n", m_nTableLayout, m_dwTableAddress));
    ar.WriteString(tessary::Format("// CRCBlockPointer=0x%X\n", m_dwCRCBlockPointer));
    if (m_dwModuleConfigAddress != 0)
      ar.WriteString(tessary::Format("// ModuleConfigAddress=0x%X\n", m_dwModuleConfigAddress));
    ar.WriteString(tessary::Format("// FileType=%d\n", m_nFileType));
    if (m_wSoftwareVersionID != 0) ar.WriteString(tessary::Format("// SoftwareVersionID=%u\n", m_wSoftwareVersionID));
    for (const CInitRAMSection& s : m_listInitRAM)
      ar.WriteString(tessary::Format("// InitRAMSection=RAM[0x%X],ROM[0x%X],Length[0x%X]\n", s.m_dwRAMAddress,
                                     s.m_dwROMAddress, s.m_dwLength));
    ar.WriteString(kRule);
  }

  // Data records as they stand: own address and length, in list order.
  char line[2 + 2 + 8 + 2 * PROG_MAX_RECORD_DATA + 2 + 1];
  for (const CProgRecord& r : m_listRecords) {
    if (r.m_nRecordType < 1 || r.m_nRecordType > 3) continue;
    const int addressBytes = r.m_nRecordType + 1;
    const uint32_t address = addressBytes == 4 ? r.m_dwAddress : r.m_dwAddress & ((1u << (8 * addressBytes)) - 1);
    const uint8_t length = std::min<uint8_t>(r.m_nLength, PROG_MAX_RECORD_DATA);
    const uint8_t count = static_cast<uint8_t>(length + addressBytes + 1);
    char* p = line;
    *p++ = 'S';
    *p++ = static_cast<char>('0' + r.m_nRecordType);
    p = PutHex(p, count, 2);
    p = PutHex(p, address, 2 * addressBytes);
    unsigned sum = count + ByteSum(address);
    uint8_t encoded[PROG_MAX_RECORD_DATA];
    const uint8_t* data = r.m_data;
    if (m_nFileType == 1) {
      for (unsigned i = 0; i < length; ++i) encoded[i] = EncodeByte(r.m_data[i]);
      data = encoded;
    }
    for (unsigned i = 0; i < length; ++i) {
      sum += data[i];
      std::memcpy(p + 2 * i, &kHexPairs[2 * data[i]], 2);
    }
    p += 2 * length;
    p = PutHex(p, static_cast<uint8_t>(~sum), 2);
    *p++ = '\n';
    ar.WriteString(std::string_view(line, static_cast<size_t>(p - line)));
  }

  const uint32_t records = static_cast<uint32_t>(m_listRecords.size());
  if (m_nMachineWordSize == 2 || m_nMachineWordSize == 3 || m_nTermination == 9) {
    if (m_bWriteCountRecord) {
      // The two-byte count cannot hold more than 65535 records, and a cut count would not read
      // back: past that the four-byte form, which the reader takes as well.
      if (records > 0xFFFF)
        WriteShortRecord(ar, '5', 5, EncodeLong(records), 8);
      else
        WriteShortRecord(ar, '5', 3, EncodeWord(static_cast<uint16_t>(records)), 4);
    }
    WriteShortRecord(ar, '9', 3, EncodeWord(static_cast<uint16_t>(m_dwStartAddress)), 4);
  } else if (m_nMachineWordSize == 4 || m_nTermination == 7) {
    if (m_bWriteCountRecord) WriteShortRecord(ar, '5', 5, EncodeLong(records), 8);
    WriteShortRecord(ar, '7', 5, EncodeLong(m_dwStartAddress), 8);
  }
}
