// Builds programming images that carry parameter tables: a table directory, item descriptors in
// layout 0, 1 or 2 and the items' values, for word sizes 2, 3 and 4, banked or not, in either
// byte order. The result goes straight into an image, or out as S-record text with its header
// comment block.
//
//   Layout layout;
//   layout.wordSize = 2;
//   layout.tableLayout = 1;
//   ImageBuilder b(layout);
//   b.SetIds(42, 3).SetText(1, 2, "SW-0042", 8);
//   CProgParse image;
//   b.BuildInto(image);   // or LoadText(image, b.Text())
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "prog/prog_base.h"

namespace testimg {

// One row of a controller database: where a parameter lies for a pair of database ids.
struct TdbRow {
  int projectId;
  int table0Rev;
  std::string name;
  int64_t table;
  int64_t item;
  int64_t sizeFactor1;
  int64_t sizeFactor2;
};

// The rows of the tests' controller database (support/test_tdb.h): the default ids 6 and 9, and
// 42 / 3.
inline const std::vector<TdbRow>& StandardTestRows() {
  static const std::vector<TdbRow> rows = {
      {6, 9, "SwIdTxt", 3, 1, 2, 6},     // 12 characters
      {6, 9, "CalIdTxt", 1, 0, 12, 1},   // 12 characters
      {42, 3, "SwIdTxt", 1, 2, 1, 8},    // 8 characters
      {42, 3, "CalIdTxt", 2, 0, 16, 1},  // 16 characters
  };
  return rows;
}

// Which stride the directory's entries are laid out with.
enum class DirView {
  A,       // w + 1
  B,       // w + 2
  BMpc55,  // w + 4 (the project "MPC55xx")
};

struct Layout {
  uint8_t wordSize = 4;      // m_nMachineWordSize: 2, 3 or 4
  uint32_t tableLayout = 0;  // m_nTableLayout: 0, 1 or 2
  bool banked = false;       // m_bBankedMemoryModel
  uint8_t endian = 0;        // m_nEndian: 0 big-endian, else little-endian
  uint32_t tableAddress = 0x1000;
  // Where the descriptors and the values go; 0 picks a place after the directory (values of a word
  // size 2 image above 0xFFFF go to 0x100, since item pointers are never banked). With word size
  // 2 the descriptors must lie in the directory's bank when banked, below 0x10000 otherwise.
  uint32_t descriptorBase = 0;
  uint32_t valueBase = 0;
  DirView view = DirView::A;
  std::string project;  // m_strProject; "MPC55xx" goes with DirView::BMpc55
};

// One item: its values in host order, width bytes each, and how the descriptor describes them.
struct Item {
  std::vector<uint8_t> values;
  uint8_t width = 1;
  uint8_t kind = 2;                  // 0 to 3
  std::optional<uint16_t> count;     // default: values.size() / width
  std::optional<uint8_t> flags;      // layouts 0 and 2: the raw flags byte (default from kind)
  std::optional<uint8_t> widthBits;  // the raw width byte (layouts 0, 2) or low nibble (layout 1)
  uint8_t attr1 = 0;
  uint8_t attr2 = 0;

  static Item Bytes(std::vector<uint8_t> v) {
    Item it;
    it.values = std::move(v);
    return it;
  }
  static Item Words(const std::vector<uint16_t>& v) {
    Item it;
    it.width = 2;
    for (uint16_t x : v) it.values.insert(it.values.end(), {uint8_t(x), uint8_t(x >> 8)});
    return it;
  }
  static Item Longs(const std::vector<uint32_t>& v) {
    Item it;
    it.width = 4;
    for (uint32_t x : v)
      it.values.insert(it.values.end(), {uint8_t(x), uint8_t(x >> 8), uint8_t(x >> 16), uint8_t(x >> 24)});
    return it;
  }
  // A text of length one-byte values: the characters, then zero bytes.
  static Item Text(const std::string& s, size_t length) {
    Item it;
    it.values.assign(length, 0);
    std::copy_n(s.begin(), std::min(s.size(), length), it.values.begin());
    return it;
  }

  uint16_t Count() const { return count ? *count : static_cast<uint16_t>(values.size() / (width ? width : 1)); }
};

inline uint8_t FlagsForKind(uint8_t kind) {
  static const uint8_t flags[4] = {0x80, 0x40, 0x20, 0xC0};
  return flags[kind & 3];
}

class ImageBuilder {
 public:
  explicit ImageBuilder(Layout layout = {}) : m_layout(std::move(layout)) {}

  const Layout& layout() const { return m_layout; }

  ImageBuilder& SetItem(uint8_t table, uint16_t item, Item it) {
    m_tables[table].items[item] = std::move(it);
    m_laid = false;
    return *this;
  }
  // The directory's count byte for a table (default: highest item number + 1).
  ImageBuilder& SetTableCount(uint8_t table, uint8_t count) {
    m_tables[table].count = count;
    m_laid = false;
    return *this;
  }
  // The database ids: one-byte items 0 and 1 of table 0.
  ImageBuilder& SetIds(uint8_t projectId, uint8_t table0Rev) {
    SetItem(0, 0, Item::Bytes({projectId}));
    return SetItem(0, 1, Item::Bytes({table0Rev}));
  }
  ImageBuilder& SetText(uint8_t table, uint16_t item, const std::string& text, size_t length) {
    return SetItem(table, item, Item::Text(text, length));
  }
  // The ids, and the "SwIdTxt" and "CalIdTxt" texts where rows say for those ids, each as one-byte
  // values of the parameter's length.
  ImageBuilder& SetIdentity(uint8_t projectId, uint8_t table0Rev, const std::string& swId, const std::string& calId,
                            const std::vector<TdbRow>& rows = StandardTestRows()) {
    SetIds(projectId, table0Rev);
    for (const TdbRow& r : rows) {
      if (r.projectId != projectId || r.table0Rev != table0Rev) continue;
      const std::string* text = r.name == "SwIdTxt" ? &swId : r.name == "CalIdTxt" ? &calId : nullptr;
      if (text)
        SetText(static_cast<uint8_t>(r.table), static_cast<uint16_t>(r.item), *text,
                static_cast<size_t>(r.sizeFactor1 * r.sizeFactor2));
    }
    return *this;
  }
  // Bytes of the image outside the tables.
  ImageBuilder& Raw(uint32_t address, const std::vector<uint8_t>& bytes) {
    m_raw.emplace_back(address, bytes);
    m_laid = false;
    return *this;
  }
  // Addresses to leave out of the image after laying out (to make holes).
  ImageBuilder& Erase(uint32_t address, uint32_t count = 1) {
    m_erase.emplace_back(address, count);
    m_laid = false;
    return *this;
  }

  uint32_t DirectoryStride() const {
    const uint32_t w = m_layout.wordSize;
    switch (m_layout.view) {
      case DirView::A: return w + 1;
      case DirView::B: return w + 2;
      default: return w + 4;
    }
  }
  uint32_t DescriptorStride() const {
    const uint32_t w = m_layout.wordSize;
    switch (m_layout.tableLayout) {
      case 0: return w + 6;
      case 1: return w + 4;
      default: return 9;
    }
  }

  uint32_t TableAddress(uint8_t table) {
    Lay();
    return m_tables.at(table).address;
  }
  uint32_t DescriptorAddress(uint8_t table, uint16_t item) { return TableAddress(table) + item * DescriptorStride(); }
  uint32_t ValueAddress(uint8_t table, uint16_t item) {
    Lay();
    return m_values.at({table, item});
  }

  // Every byte of the image, by address.
  const std::map<uint32_t, uint8_t>& Bytes() {
    Lay();
    return m_bytes;
  }

  // Settings and records into image (reset first); records of at most recordSize bytes.
  void BuildInto(CProgBase& image, uint8_t recordSize = 32) {
    image.Reset();
    ApplySettings(image);
    for (const auto& [start, run] : Runs()) {
      for (size_t off = 0; off < run.size(); off += recordSize) {
        CProgRecord r;
        r.m_dwAddress = start + static_cast<uint32_t>(off);
        r.m_nLength = static_cast<uint8_t>(std::min<size_t>(recordSize, run.size() - off));
        std::copy_n(run.begin() + static_cast<ptrdiff_t>(off), r.m_nLength, r.m_data);
        r.m_nRecordType = 3;
        image.m_listRecords.push_back(r);
      }
    }
  }

  void ApplySettings(CProgBase& image) const {
    image.m_nMachineWordSize = m_layout.wordSize;
    image.m_nTableLayout = m_layout.tableLayout;
    image.m_bBankedMemoryModel = m_layout.banked ? 1 : 0;
    image.m_nEndian = m_layout.endian;
    image.m_dwTableAddress = m_layout.tableAddress;
    image.m_strProject = m_layout.project;
  }

  // The header comment block that sets what ApplySettings sets.
  std::string HeaderText() const {
    std::string s = "/////////////////////////////////////////////////////////\n";
    s += "// Project=" + m_layout.project + "\n";
    s += "// Endian=" + std::to_string(m_layout.endian) + "\n";
    s += "// MachineWordSize=" + std::to_string(m_layout.wordSize) + "\n";
    s += "// BankedMemoryModel=" + std::to_string(m_layout.banked ? 1 : 0) + "\n";
    s += "// TableAddress[" + std::to_string(m_layout.tableLayout) + "]=0x" + Hex(m_layout.tableAddress, 1) + "\n";
    s += "/////////////////////////////////////////////////////////\n";
    return s;
  }

  // The whole image as S-record text: the header block, S3 records, S7.
  std::string Text(uint8_t recordSize = 32) {
    std::string s = HeaderText();
    for (const auto& [start, run] : Runs())
      for (size_t off = 0; off < run.size(); off += recordSize)
        AppendS3(s, start + static_cast<uint32_t>(off), run.data() + off,
                 std::min<size_t>(recordSize, run.size() - off));
    s += "S70500000000FA\n";
    return s;
  }

  static std::string Hex(uint32_t v, int digits) {
    static const char* d = "0123456789ABCDEF";
    std::string s;
    bool any = false;
    for (int i = 7; i >= 0; --i) {
      const int nibble = static_cast<int>((v >> (4 * i)) & 0xF);
      if (nibble || any || i < digits) {
        s += d[nibble];
        any = true;
      }
    }
    return s;
  }

  static void AppendS3(std::string& s, uint32_t address, const uint8_t* data, size_t n) {
    unsigned sum = static_cast<unsigned>(n + 5);
    for (int i = 0; i < 4; ++i) sum += (address >> (8 * i)) & 0xFF;
    s += "S3" + Hex(static_cast<uint32_t>(n + 5), 2) + Hex(address, 8);
    for (size_t i = 0; i < n; ++i) {
      s += Hex(data[i], 2);
      sum += data[i];
    }
    s += Hex(~sum & 0xFF, 2) + "\n";
  }

 private:
  struct Table {
    std::map<uint16_t, Item> items;
    std::optional<uint8_t> count;
    uint32_t address = 0;
  };

  bool BigEndian() const { return m_layout.endian == 0; }

  void Put(uint32_t address, uint8_t value) {
    auto [it, fresh] = m_bytes.emplace(address, value);
    if (!fresh && it->second != value)
      throw std::logic_error("image builder: two different bytes at 0x" + Hex(address, 1));
  }
  void PutValue(uint32_t address, uint32_t v, int bytes, bool bigEndian) {
    for (int i = 0; i < bytes; ++i) {
      const int shift = bigEndian ? 8 * (bytes - 1 - i) : 8 * i;
      Put(address + static_cast<uint32_t>(i), static_cast<uint8_t>(v >> shift));
    }
  }
  // A pointer of the word size, stored at address.
  void PutPointer(uint32_t address, uint32_t target, bool banked) {
    const uint8_t w = m_layout.wordSize;
    if (w == 2) {
      const bool fits = banked ? (target & 0xFFFF0000u) == (address & 0xFF0000u) : target <= 0xFFFF;
      if (!fits) throw std::logic_error("image builder: 0x" + Hex(target, 1) + " is out of a 2-byte pointer's reach");
      PutValue(address, target & 0xFFFF, 2, BigEndian());
    } else if (w == 3) {
      if (target > 0xFFFFFF) throw std::logic_error("image builder: 0x" + Hex(target, 1) + " needs more than 3 bytes");
      PutValue(address, target, 3, true);
    } else {
      PutValue(address, target, 4, BigEndian());
    }
  }

  // A place for n value bytes. In layout 2 with word size 4 a descriptor's width byte is the first
  // byte of the next descriptor's pointer, so that pointer's first byte is given as firstByte.
  uint32_t AllocValues(uint32_t n, std::optional<uint8_t> firstByte) {
    if (!firstByte) {
      const uint32_t at = m_valueCursor;
      m_valueCursor += n + 1;  // a gap byte keeps items apart
      return at;
    }
    uint32_t& cursor = m_constrained[*firstByte];
    if (BigEndian()) {
      if (cursor == 0) cursor = uint32_t{*firstByte} << 24 | 0x1000;
      const uint32_t at = cursor;
      cursor += n + 1;
      return at;
    }
    if (cursor == 0) cursor = m_valueCursor + 0x10000;
    uint32_t at = (cursor & ~0xFFu) | *firstByte;
    if (at < cursor) at += 0x100;
    cursor = at + n + 1;
    return at;
  }

  void Lay() {
    if (m_laid) return;
    m_bytes.clear();
    m_values.clear();
    m_constrained.clear();
    const Layout& L = m_layout;
    const uint32_t w = L.wordSize;
    const uint32_t dirStride = DirectoryStride();
    const uint32_t descStride = DescriptorStride();

    uint32_t desc = L.descriptorBase ? L.descriptorBase : L.tableAddress + 8 * dirStride + 0x10;
    for (auto& [t, table] : m_tables) {
      table.address = desc;
      const uint32_t items = table.items.empty() ? 0 : table.items.rbegin()->first + 1u;
      desc += items * descStride + 0x10;
    }
    m_valueCursor = L.valueBase ? L.valueBase : desc;
    // Item pointers of 2 bytes are never banked: values of a table in a higher bank go low.
    if (w == 2 && !L.valueBase && m_valueCursor > 0xFFFF) m_valueCursor = 0x0100;

    for (auto& [t, table] : m_tables) {
      if (t < kProgTableDirSize) {
        const uint32_t entry = L.tableAddress + t * dirStride;
        PutPointer(entry, table.address, L.banked);
        const uint32_t n = table.items.empty() ? 0 : table.items.rbegin()->first + 1u;
        Put(entry + w, table.count ? *table.count : static_cast<uint8_t>(n));
      }
      const Item* previous = nullptr;
      uint16_t previousNumber = 0;
      for (const auto& [n, it] : table.items) {
        std::optional<uint8_t> firstByte;
        if (L.tableLayout == 2 && w == 4 && previous && previousNumber + 1 == n) firstByte = WidthByte(*previous);
        const uint32_t size = static_cast<uint32_t>(it.values.size());
        const uint32_t values = AllocValues(size, firstByte);
        m_values[{t, n}] = values;
        for (uint32_t i = 0; i < size; i += it.width ? it.width : 1) {
          if (it.width == 2 || it.width == 4) {
            uint32_t v = 0;
            for (int b = 0; b < it.width; ++b) v |= uint32_t{it.values[i + b]} << (8 * b);
            PutValue(values + i, v, it.width, BigEndian());
          } else {
            for (uint32_t b = 0; b < (it.width ? it.width : 1u) && i + b < size; ++b)
              Put(values + i + b, it.values[i + b]);
          }
        }
        const uint32_t d = table.address + n * descStride;
        PutPointer(d, values, false);
        if (L.tableLayout == 1) {
          const uint32_t packed = uint32_t{it.attr1} << 24 | uint32_t{it.attr2 & 3u} << 20 |
                                  uint32_t{it.Count() & 0xFFFu} << 8 | uint32_t{it.kind & 3u} << 6 |
                                  ((it.widthBits ? *it.widthBits : it.width) & 0xFu);
          PutValue(d + w, packed, 4, BigEndian());
        } else {
          Put(d + w, it.attr1);
          Put(d + w + 1, it.attr2);
          PutValue(d + w + 2, it.Count(), 2, BigEndian());
          Put(d + w + 4, it.flags ? *it.flags : FlagsForKind(it.kind));
          Put(d + w + 5, WidthByte(it));
        }
        previous = &it;
        previousNumber = n;
      }
    }
    for (const auto& [at, bytes] : m_raw)
      for (size_t i = 0; i < bytes.size(); ++i) Put(at + static_cast<uint32_t>(i), bytes[i]);
    for (const auto& [at, count] : m_erase)
      for (uint32_t i = 0; i < count; ++i) m_bytes.erase(at + i);
    m_laid = true;
  }

  static uint8_t WidthByte(const Item& it) { return it.widthBits ? *it.widthBits : it.width; }

  // Runs of adjacent bytes, in address order.
  std::vector<std::pair<uint32_t, std::vector<uint8_t>>> Runs() {
    Lay();
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> runs;
    for (const auto& [a, v] : m_bytes) {
      if (runs.empty() || uint64_t{runs.back().first} + runs.back().second.size() != a) runs.push_back({a, {}});
      runs.back().second.push_back(v);
    }
    return runs;
  }

  Layout m_layout;
  std::map<uint8_t, Table> m_tables;
  std::vector<std::pair<uint32_t, std::vector<uint8_t>>> m_raw;
  std::vector<std::pair<uint32_t, uint32_t>> m_erase;
  std::map<uint32_t, uint8_t> m_bytes;
  std::map<std::pair<uint8_t, uint16_t>, uint32_t> m_values;
  std::map<uint8_t, uint32_t> m_constrained;
  uint32_t m_valueCursor = 0;
  bool m_laid = false;
};

}  // namespace testimg
