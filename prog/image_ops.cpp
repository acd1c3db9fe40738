// Operations on the record list as a whole: re-blocking, moving, range saves, flat copies and
// pages. Ends of records and ranges are computed in 64 bits so that nothing wraps at the top of
// the 32-bit address space.
#include <algorithm>
#include <cstring>
#include <iterator>
#include <utility>
#include <vector>

#include "prog/image_ops.h"
#include "prog/prog_base.h"
#include "prog/prog_io.h"
#include "protect/codec.h"

namespace {

constexpr uint64_t kAddressSpace = uint64_t{1} << 32;

uint64_t EndOf(const CProgRecord& r) { return uint64_t{r.m_dwAddress} + r.m_nLength; }

// A heap block of size bytes, released on every way out; none for 0 bytes.
CodecBuffer HeapBuffer(uint32_t size) { return CodecBuffer(size ? AllocBuffer(size) : nullptr); }

// A flat copy of [start, start + length): nothing for an empty range, one that passes the top
// of the address space or one larger than the flat-buffer limit. With altEncoder every record
// byte copied goes through its AltEncodeByte.
uint32_t CopyRange(const CProgRecordList& records, uint8_t** outBuffer, uint8_t fill, uint32_t start, uint32_t length,
                   const CProgBase* altEncoder = nullptr) {
  if (!IsFlatRange(start, length)) return 0;
  CodecBuffer buffer = HeapBuffer(length);
  if (!buffer.get()) return 0;
  uint8_t* dst = buffer.get();
  std::memset(dst, fill, length);
  ForEachChunk(records, start, length, [&](size_t offset, const uint8_t* bytes, size_t n) {
    if (!altEncoder) {
      std::memcpy(dst + offset, bytes, n);
      return;
    }
    for (size_t i = 0; i < n; ++i) dst[offset + i] = altEncoder->AltEncodeByte(bytes[i]);
  });
  *outBuffer = buffer.release();
  return length;
}

// How Reblock treats a record against its range [S, E).
enum class Cut {
  outside,   // holds no address of the range: stays as it is
  inside,    // lies in the range: rebuilt
  keepTail,  // begins inside and ends after E: the part from E on stays outside
  keepHead,  // begins before S and ends inside: the part below S stays outside
  keepBoth,  // begins before S and ends after E: the parts below S and from E on stay outside
};

Cut Classify(const CProgRecord& r, uint64_t S, uint64_t E) {
  const uint64_t a = r.m_dwAddress;
  const uint64_t e = EndOf(r);
  // A record that begins inside is rebuilt even when it is empty.
  if (a >= S && a < E) return e > E ? Cut::keepTail : Cut::inside;
  if (a < S && e > S && E > S) return e > E ? Cut::keepBoth : Cut::keepHead;
  return Cut::outside;
}

// Drops the record's bytes below at, so that it begins there; it keeps its kind and mark.
void DropHead(CProgRecord& r, uint32_t at) {
  const unsigned k = at - r.m_dwAddress;
  const unsigned n = r.m_nLength - k;
  std::memmove(r.m_data, r.m_data + k, n);
  std::memset(r.m_data + n, 0, PROG_MAX_RECORD_DATA - n);
  r.m_dwAddress = at;
  r.m_nLength = static_cast<uint8_t>(n);
}

// Restores the record list of a range save in its old order, also when the save throws.
class RecordListRestorer {
 public:
  RecordListRestorer(CProgBase& image, std::vector<bool>& kept, CProgRecordList& others)
      : m_image(image), m_kept(kept), m_others(others) {}
  RecordListRestorer(const RecordListRestorer&) = delete;
  RecordListRestorer& operator=(const RecordListRestorer&) = delete;
  ~RecordListRestorer() {
    CProgRecordList& records = m_image.m_listRecords;
    CProgRecordList saved;
    saved.splice(saved.end(), records);
    for (const bool k : m_kept) {
      CProgRecordList& from = k ? saved : m_others;
      if (!from.empty()) records.splice(records.end(), from, from.begin());
    }
    // Nothing should be left over; if the save added anything, it is kept rather than lost.
    records.splice(records.end(), saved);
    records.splice(records.end(), m_others);
    m_image.m_posCursor = records.end();
  }

 private:
  CProgBase& m_image;
  std::vector<bool>& m_kept;
  CProgRecordList& m_others;
};

// Saves only the records whose first address keep() accepts, then puts every record back.
template <class Keep>
bool SaveSelected(CProgBase& image, Keep keep, const std::string& path, const char* leadingText, bool noPrompt) {
  CProgRecordList& records = image.m_listRecords;
  std::vector<bool> kept;
  kept.reserve(records.size());  // the only allocation, made before any record moves
  CProgRecordList others;
  for (auto it = records.begin(); it != records.end();) {
    const auto next = std::next(it);
    const bool k = keep(it->m_dwAddress);
    kept.push_back(k);
    if (!k) others.splice(others.end(), records, it);
    it = next;
  }
  // The cursor may stand on a record that has left the list.
  image.m_posCursor = records.end();
  RecordListRestorer restore(image, kept, others);
  image.SaveFile(path, leadingText, noPrompt, kProgSavePlain);
  return true;
}

}  // namespace

bool AnyMarked(const uint8_t* mask, uint32_t start, uint16_t count) {
  return count != 0 && std::memchr(mask + start, 1, count) != nullptr;
}

bool CProgBase::ReblockAll(uint8_t recordLength, uint8_t fill) { return Reblock(recordLength, 0, 0xFFFFFFFF, fill); }

bool CProgBase::Reblock(uint8_t recordLength, uint32_t start, uint32_t length, uint8_t fill) {
  const uint32_t r = recordLength;
  if (r == 0 || r > PROG_MAX_RECORD_DATA) return false;
  const uint64_t S = start;
  const uint64_t E = S + length;
  if (E > kAddressSpace) return false;

  // Everything that can fail comes before the first change to the list, so that running out
  // of memory loses no record and no byte.
  bool anyInside = false;
  uint64_t M = 0;
  CProgRecordList tails;  // the parts from E on of records that span the whole range, in walk order
  for (const CProgRecord& rec : m_listRecords) {
    const Cut cut = Classify(rec, S, E);
    if (cut == Cut::outside) continue;
    anyInside = true;
    M = std::max(M, std::clamp(EndOf(rec), S, E));
    if (cut == Cut::keepBoth) {
      tails.push_back(rec);
      DropHead(tails.back(), static_cast<uint32_t>(E));
    }
  }
  if (!anyInside) {
    // With S = 0 the rebuild runs over an empty range, which leaves the records but not the cursor.
    if (S == 0) m_posCursor = m_listRecords.end();
    return true;
  }
  const uint64_t span = M - S;
  if (span > kProgMaxFlatBuffer) return false;
  const auto L = static_cast<uint32_t>(span);

  CodecBuffer data = HeapBuffer(L);
  CodecBuffer mask = HeapBuffer(L);
  if (L != 0 && (!data.get() || !mask.get())) return false;
  if (L != 0) {
    std::memset(data.get(), fill, L);
    std::memset(mask.get(), 0, L);
  }
  ForEachChunk(m_listRecords, S, L, [&](size_t offset, const uint8_t* bytes, size_t n) {
    std::memcpy(data.get() + offset, bytes, n);
    std::memset(mask.get() + offset, 1, n);
  });

  CProgRecordList rebuilt;
  const auto addSlice = [&](uint32_t offset, uint32_t count) {
    CProgRecord& n = rebuilt.emplace_back();
    n.m_dwAddress = static_cast<uint32_t>(S + offset);
    n.m_nLength = static_cast<uint8_t>(r);
    n.m_nRecordType = 3;
    std::memcpy(n.m_data, data.get() + offset, count);
    std::memset(n.m_data + count, fill, r - count);
  };
  const uint32_t F = r * (L / r);
  for (uint32_t o = 0; o < F; o += r)
    if (AnyMarked(mask.get(), o, static_cast<uint16_t>(r))) addSlice(o, r);
  if (F < L && AnyMarked(mask.get(), F, static_cast<uint16_t>(L - F))) addSlice(F, L - F);

  // From here on nothing allocates.
  for (auto it = m_listRecords.begin(); it != m_listRecords.end();) {
    switch (Classify(*it, S, E)) {
      case Cut::outside: ++it; break;
      case Cut::inside: it = m_listRecords.erase(it); break;
      case Cut::keepTail:
        DropHead(*it, static_cast<uint32_t>(E));
        ++it;
        break;
      case Cut::keepHead:
        it->m_nLength = static_cast<uint8_t>(S - it->m_dwAddress);
        ++it;
        break;
      case Cut::keepBoth: {
        const auto next = std::next(it);
        m_listRecords.splice(next, tails, tails.begin());
        it->m_nLength = static_cast<uint8_t>(S - it->m_dwAddress);
        it = next;
        break;
      }
    }
  }
  m_listRecords.splice(m_listRecords.begin(), rebuilt);
  m_posCursor = m_listRecords.end();
  return true;
}

bool CProgBase::MoveRange(uint32_t start, uint32_t end, uint32_t newStart) {
  const auto moves = [&](const CProgRecord& r) { return r.m_dwAddress >= start && r.m_dwAddress < end; };
  const auto target = [&](const CProgRecord& r) { return uint64_t{newStart} + (r.m_dwAddress - start); };
  // New addresses wrap at 32 bits; a record that would then straddle the top of the address
  // space would hold addresses that do not exist, so such a move is refused.
  const auto wrapped = [&](const CProgRecord& r) { return static_cast<uint32_t>(target(r)); };
  for (const CProgRecord& r : m_listRecords)
    if (moves(r) && uint64_t{wrapped(r)} + r.m_nLength > kAddressSpace) return false;
  for (CProgRecord& r : m_listRecords) {
    if (r.m_nRecordType == 1) r.m_nRecordType = 2;
    if (moves(r)) r.m_dwAddress = wrapped(r);
  }
  return true;
}

bool CProgBase::SaveRange(uint32_t low, uint32_t high, std::string path, const char* leadingText, bool noPrompt) {
  return SaveSelected(
      *this, [=](uint32_t a) { return a >= low && a <= high; }, path, leadingText, noPrompt);
}

bool CProgBase::SaveExcludingRange(uint32_t low, uint32_t high, std::string path, const char* leadingText,
                                   bool noPrompt) {
  return SaveSelected(
      *this, [=](uint32_t a) { return a < low || a > high; }, path, leadingText, noPrompt);
}

uint32_t CProgBase::GetUsedLength(uint32_t start, uint32_t limit) const {
  const uint64_t last = uint64_t{start} + limit;
  uint64_t M = 0;
  bool any = false;
  for (const CProgRecord& r : m_listRecords) {
    if (r.m_dwAddress < start || EndOf(r) > last) continue;
    M = std::max(M, EndOf(r));
    any = true;
  }
  return any ? static_cast<uint32_t>(M - start) : 0;
}

uint32_t CProgBase::GetFlatImage(uint8_t** outBuffer, uint8_t fill) const {
  uint64_t Z = 0;
  for (const CProgRecord& r : m_listRecords) Z = std::max(Z, EndOf(r));
  // The flat image starts at address 0, so its size is the highest end, which must fit the result.
  if (Z >= kAddressSpace) return 0;
  return CopyRange(m_listRecords, outBuffer, fill, 0, static_cast<uint32_t>(Z));
}

uint32_t CProgBase::GetImageRange(uint8_t** outBuffer, uint8_t fill, uint32_t start, uint32_t length) const {
  return CopyRange(m_listRecords, outBuffer, fill, start, length);
}

uint32_t CProgBase::GetImageRangeAltEncoded(uint8_t** outBuffer, uint8_t fill, uint32_t start, uint32_t length) const {
  return CopyRange(m_listRecords, outBuffer, fill, start, length, this);
}

RecordPos CProgBase::GetFirstRecordPosition() { return m_listRecords.begin(); }

CProgRecord& CProgBase::GetNextRecord(RecordPos& pos) { return *pos++; }

CProgBase::PagePos CProgBase::GetFirstPagePosition() { return m_listPages.begin(); }

CMultiProgRecord& CProgBase::GetNextPage(PagePos& pos) { return *pos++; }

bool CProgBase::SplitIntoPages(uint32_t low, uint32_t high, uint32_t pageSize, uint8_t divisor) {
  // A record would otherwise fall past the last page (or divide by zero).
  if (divisor == 0 || pageSize == 0 || (pageSize & (pageSize - 1)) != 0 || pageSize % divisor != 0) return false;
  if (m_listRecords.empty()) return false;
  const uint32_t K = pageSize / divisor;

  // The pages are made before any record moves, so running out of memory loses nothing.
  std::list<CMultiProgRecord> pages(K);
  std::vector<CMultiProgRecord*> byNumber;
  byNumber.reserve(K);
  for (CMultiProgRecord& p : pages) byNumber.push_back(&p);

  m_posCursor = m_listRecords.end();  // it may stand on a record that moves into a page
  for (auto it = m_listRecords.begin(); it != m_listRecords.end();) {
    const auto next = std::next(it);
    if (it->m_dwAddress >= low && it->m_dwAddress <= high) {
      CProgRecordList& page = byNumber[(it->m_dwAddress & (pageSize - 1)) / divisor]->m_listRecords;
      page.splice(page.end(), m_listRecords, it);
    }
    it = next;
  }
  m_listPages.splice(m_listPages.end(), pages);
  return true;
}
