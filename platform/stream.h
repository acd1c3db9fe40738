// A memory stream in the manner of a COM stream over global memory, for the image's stream load
// and save. Reference counted like a COM object: whoever receives a stream calls Release.
#pragma once

#include <cstddef>
#include <cstdint>

using HRESULT = int32_t;

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT STG_E_INVALIDFUNCTION = static_cast<HRESULT>(0x80030001u);

inline constexpr bool FAILED(HRESULT hr) { return hr < 0; }

// Global memory: a block behind a handle, locked to reach its bytes.
struct GlobalBlock;
using HGLOBAL = GlobalBlock*;

inline constexpr unsigned GMEM_MOVEABLE = 0x02;
inline constexpr unsigned GMEM_ZEROINIT = 0x20;

// A block of bytes, or nullptr when memory is short. With GMEM_ZEROINIT every byte is 0.
HGLOBAL GlobalAlloc(unsigned flags, size_t bytes);
void* GlobalLock(HGLOBAL block);
bool GlobalUnlock(HGLOBAL block);
// Returns nullptr on success, the block itself when it cannot be freed (still locked).
HGLOBAL GlobalFree(HGLOBAL block);

struct STATSTG {
  uint64_t cbSize = 0;
};
inline constexpr uint32_t STATFLAG_DEFAULT = 0;
inline constexpr uint32_t STATFLAG_NONAME = 1;

enum STREAM_SEEK : uint32_t { STREAM_SEEK_SET = 0, STREAM_SEEK_CUR = 1, STREAM_SEEK_END = 2 };

class IStream {
 public:
  virtual uint32_t AddRef() = 0;
  virtual uint32_t Release() = 0;
  // The stream's size in cbSize.
  virtual HRESULT Stat(STATSTG* stat, uint32_t flags) = 0;
  // Reads up to count bytes from the current position; *read (when given) receives the count read.
  virtual HRESULT Read(void* buffer, uint32_t count, uint32_t* read) = 0;
  // Writes at the current position, growing the stream as needed.
  virtual HRESULT Write(const void* buffer, uint32_t count, uint32_t* written) = 0;
  virtual HRESULT Seek(int64_t offset, STREAM_SEEK origin, uint64_t* newPosition) = 0;

 protected:
  virtual ~IStream() = default;
};

// A stream over block, positioned at its start, whose size is the block's size. With block nullptr
// the stream makes its own empty block. With deleteOnRelease the stream frees the block when its
// last reference goes.
HRESULT CreateStreamOnHGlobal(HGLOBAL block, bool deleteOnRelease, IStream** stream);
