#include "platform/stream.h"

#include <cstdlib>
#include <cstring>
#include <new>

struct GlobalBlock {
  uint8_t* data = nullptr;
  size_t size = 0;
  int locks = 0;
};

HGLOBAL GlobalAlloc(unsigned flags, size_t bytes) {
  auto* block = new (std::nothrow) GlobalBlock;
  if (!block) return nullptr;
  // At least one byte, so that an empty block still has an address to lock.
  block->data = static_cast<uint8_t*>((flags & GMEM_ZEROINIT) ? std::calloc(bytes ? bytes : 1, 1)
                                                              : std::malloc(bytes ? bytes : 1));
  if (!block->data) {
    delete block;
    return nullptr;
  }
  block->size = bytes;
  return block;
}

void* GlobalLock(HGLOBAL block) {
  if (!block) return nullptr;
  ++block->locks;
  return block->data;
}

bool GlobalUnlock(HGLOBAL block) {
  if (!block || block->locks == 0) return false;
  return --block->locks > 0;
}

HGLOBAL GlobalFree(HGLOBAL block) {
  if (!block) return nullptr;
  if (block->locks > 0) return block;
  std::free(block->data);
  delete block;
  return nullptr;
}

namespace {

bool ResizeBlock(GlobalBlock& block, size_t size) {
  if (size <= block.size) {
    block.size = size;
    return true;
  }
  auto* p = static_cast<uint8_t*>(std::realloc(block.data, size));
  if (!p) return false;
  std::memset(p + block.size, 0, size - block.size);
  block.data = p;
  block.size = size;
  return true;
}

class CMemoryStream final : public IStream {
 public:
  CMemoryStream(HGLOBAL block, bool deleteOnRelease) : m_block(block), m_deleteOnRelease(deleteOnRelease) {}

  uint32_t AddRef() override { return ++m_refs; }

  uint32_t Release() override {
    const uint32_t n = --m_refs;
    if (n == 0) {
      if (m_deleteOnRelease) GlobalFree(m_block);
      delete this;
    }
    return n;
  }

  HRESULT Stat(STATSTG* stat, uint32_t) override {
    if (!stat) return E_POINTER;
    stat->cbSize = m_block->size;
    return S_OK;
  }

  HRESULT Read(void* buffer, uint32_t count, uint32_t* read) override {
    if (!buffer && count > 0) return E_POINTER;
    uint32_t n = 0;
    if (m_position < m_block->size) {
      const uint64_t left = m_block->size - m_position;
      n = left < count ? static_cast<uint32_t>(left) : count;
      std::memcpy(buffer, m_block->data + m_position, n);
      m_position += n;
    }
    if (read) *read = n;
    return S_OK;
  }

  HRESULT Write(const void* buffer, uint32_t count, uint32_t* written) override {
    if (written) *written = 0;
    if (count == 0) return S_OK;
    if (!buffer) return E_POINTER;
    if (m_position > SIZE_MAX - count) return E_OUTOFMEMORY;
    const uint64_t stop = m_position + count;
    if (stop > m_block->size && !ResizeBlock(*m_block, static_cast<size_t>(stop))) return E_OUTOFMEMORY;
    std::memcpy(m_block->data + m_position, buffer, count);
    m_position = stop;
    if (written) *written = count;
    return S_OK;
  }

  HRESULT Seek(int64_t offset, STREAM_SEEK origin, uint64_t* newPosition) override {
    int64_t base;
    switch (origin) {
      case STREAM_SEEK_SET: base = 0; break;
      case STREAM_SEEK_CUR: base = static_cast<int64_t>(m_position); break;
      case STREAM_SEEK_END: base = static_cast<int64_t>(m_block->size); break;
      default: return STG_E_INVALIDFUNCTION;
    }
    if (offset < 0 && base + offset < 0) return STG_E_INVALIDFUNCTION;
    m_position = static_cast<uint64_t>(base + offset);
    if (newPosition) *newPosition = m_position;
    return S_OK;
  }

 private:
  ~CMemoryStream() override = default;

  HGLOBAL m_block;
  bool m_deleteOnRelease;
  uint32_t m_refs = 1;
  uint64_t m_position = 0;
};

}  // namespace

HRESULT CreateStreamOnHGlobal(HGLOBAL block, bool deleteOnRelease, IStream** stream) {
  if (!stream) return E_POINTER;
  *stream = nullptr;
  const bool own = block == nullptr;
  if (own) {
    block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 0);
    if (!block) return E_OUTOFMEMORY;
  }
  auto* s = new (std::nothrow) CMemoryStream(block, deleteOnRelease || own);
  if (!s) {
    if (own) GlobalFree(block);
    return E_OUTOFMEMORY;
  }
  *stream = s;
  return S_OK;
}
