#include "protect/codec.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include <crypto++/default.h>
#include <crypto++/filters.h>
#include <crypto++/gzip.h>
#include <crypto++/hex.h>
#include <crypto++/misc.h>

namespace {

// The gzip layer of every stored file is written with these; changing them changes the bytes
// (though not the readability) of every new protected text.
constexpr unsigned kDeflateLevel = 5;
constexpr unsigned kLog2WindowSize = 15;
constexpr bool kDetectUncompressible = true;

constexpr int kPassphraseLength = 24;
constexpr size_t kMaxLength32 = UINT32_MAX;

// Deflate cannot expand more than 1032 to 1; a gzip trailer claiming more is not trusted as a
// size hint.
constexpr uint64_t kMaxInflateRatio = 1032;

using Byte = CryptoPP::byte;
using Chain = std::unique_ptr<CryptoPP::BufferedTransformation>;

// The end of every filter chain: collects the first message into one malloc block that is
// handed out as it is, so no stage pays for a queue and a second copy. Past uLimit bytes it
// throws, which is how a stage's output is kept within its 32-bit length and a decode within
// its cap while the data is still arriving.
class BlockSink : public CryptoPP::Bufferless<CryptoPP::Sink> {
 public:
  BlockSink(size_t uLimit, size_t uExpected) : m_uLimit(uLimit) { Resize(std::min(uExpected, uLimit)); }
  BlockSink(const BlockSink&) = delete;
  BlockSink& operator=(const BlockSink&) = delete;
  ~BlockSink() override { std::free(m_pBlock); }

  size_t Put2(const Byte* pData, size_t uLength, int nMessageEnd, bool /*blocking*/) override {
    // Only the first message is the result: bytes a gunzip passes on after the end of its
    // stream are not part of the text.
    if (m_bEnded) return 0;
    if (uLength > m_uLimit - m_uSize)
      throw CryptoPP::Exception(CryptoPP::Exception::OTHER_ERROR, "output longer than its limit");
    if (uLength > m_uCapacity - m_uSize) {
      const size_t uNeeded = m_uSize + uLength;
      Resize(m_uCapacity + std::min(m_uLimit - m_uCapacity, std::max(m_uCapacity, uNeeded - m_uCapacity)));
    }
    if (uLength != 0) std::memcpy(m_pBlock + m_uSize, pData, uLength);
    m_uSize += uLength;
    if (nMessageEnd != 0) m_bEnded = true;
    return 0;
  }

  size_t Size() const { return m_uSize; }

  // Hands the block over, cut to its size plus uSpare zero bytes (and never a null block).
  uint8_t* Release(size_t uSpare) {
    const size_t uTotal = std::max<size_t>(m_uSize + uSpare, 1);
    if (uTotal != m_uCapacity) Resize(uTotal);
    std::memset(m_pBlock + m_uSize, 0, uTotal - m_uSize);
    return std::exchange(m_pBlock, nullptr);
  }

 private:
  void Resize(size_t uCapacity) {
    if (uCapacity == 0) return;
    void* p = std::realloc(m_pBlock, uCapacity);
    if (p == nullptr) throw std::bad_alloc();
    m_pBlock = static_cast<uint8_t*>(p);
    m_uCapacity = uCapacity;
  }

  uint8_t* m_pBlock = nullptr;
  size_t m_uSize = 0;
  size_t m_uCapacity = 0;
  size_t m_uLimit;
  bool m_bEnded = false;
};

// Puts the whole input through the chain that makeChain builds on a sink, and hands out what
// reached the sink. Any exception (the library's errors, exhausted memory, the sink's limit)
// is a failure; everything allocated is released on the way out.
template <class MakeChain>
int RunStage(const void* pInput, uint32_t uInputLength, size_t uLimit, size_t uExpected, size_t uSpare,
             MakeChain makeChain, uint8_t** ppOutBuffer, uint32_t* puOutLength) noexcept {
  if (ppOutBuffer == nullptr || puOutLength == nullptr || (pInput == nullptr && uInputLength != 0)) return 0;
  static const Byte kNothing = 0;
  const Byte* pBytes = pInput != nullptr ? static_cast<const Byte*>(pInput) : &kNothing;
  try {
    BlockSink sink(uLimit, uExpected);
    const Chain head = makeChain(sink);
    head->Put(pBytes, uInputLength, true);
    head->MessageEnd(-1, true);
    const size_t uSize = sink.Size();  // within uLimit, which is at most 32 bits
    *ppOutBuffer = sink.Release(uSpare);
    *puOutLength = static_cast<uint32_t>(uSize);
    return 1;
  } catch (...) {
    return 0;
  }
}

// The codec's passphrase for the length of one call, wiped when the call ends.
class CodecPassphrase {
 public:
  CodecPassphrase() noexcept : m_bBuilt(BuildCodecPassphrase(m_sz) == 1) {}
  CodecPassphrase(const CodecPassphrase&) = delete;
  CodecPassphrase& operator=(const CodecPassphrase&) = delete;
  ~CodecPassphrase() { CryptoPP::SecureWipeBuffer(reinterpret_cast<Byte*>(m_sz), sizeof m_sz); }

  const char* Get() const noexcept { return m_bBuilt ? m_sz : nullptr; }

 private:
  char m_sz[CODEC_PASSPHRASE_BUFFER] = {};
  bool m_bBuilt;
};

// The plain length a gzip stream's trailer gives (modulo 2^32), bounded by what deflate can
// produce from n bytes: only a hint for the first allocation, never trusted as the result.
size_t ExpectedPlainLength(const uint8_t* pGzip, uint32_t uLength) {
  if (uLength < 18) return 0;  // shorter than a gzip header and trailer
  const uint8_t* p = pGzip + uLength - 4;
  const uint64_t uStated = p[0] | uint64_t{p[1]} << 8 | uint64_t{p[2]} << 16 | uint64_t{p[3]} << 24;
  return static_cast<size_t>(std::min(uStated, uint64_t{uLength} * kMaxInflateRatio));
}

using BufferEntry = CodecResult (*)(uint32_t, const void*, uint32_t, uint8_t**, uint32_t*) noexcept;

// Reads the whole stream and hands it to the buffer entry point of the same direction.
CodecResult RunOnFile(uint32_t uFlags, std::FILE* pStream, uint8_t** ppOutBuffer, uint32_t* puOutLength,
                      BufferEntry entry, CodecResult failure) noexcept {
  if (uFlags != 0 || pStream == nullptr || ppOutBuffer == nullptr || puOutLength == nullptr) return failure;
  if (std::fseek(pStream, 0, SEEK_END) != 0) return failure;
  const long nLength = std::ftell(pStream);
  // The buffer holds one byte more than the length, and both must fit in 32 bits.
  if (nLength < 0 || static_cast<unsigned long>(nLength) >= kMaxLength32) return failure;
  if (std::fseek(pStream, 0, SEEK_SET) != 0) return failure;
  const auto uLength = static_cast<uint32_t>(nLength);
  uint8_t* pBuffer = AllocBuffer(uLength + 1);
  if (pBuffer == nullptr) return failure;
  CodecResult result = failure;
  if (std::fread(pBuffer, 1, uLength, pStream) == uLength) {
    pBuffer[uLength] = 0;
    result = entry(uFlags, pBuffer, uLength, ppOutBuffer, puOutLength);
  }
  FreeBuffer(pBuffer);
  return result;
}

}  // namespace

uint8_t* AllocBuffer(uint32_t uCount) noexcept { return static_cast<uint8_t*>(std::malloc(uCount != 0 ? uCount : 1)); }

void FreeBuffer(void* pBuffer) noexcept { std::free(pBuffer); }

int BuildCodecPassphrase(char (&szPassphrase)[CODEC_PASSPHRASE_BUFFER]) noexcept {
  // The characters are immediate operands here, so the passphrase never sits whole in the
  // program's data.
  char szFormat[CODEC_PASSPHRASE_BUFFER] = "";
  for (int i = 0; i < kPassphraseLength; ++i) std::strcat(szFormat, "%c");
  const int n = std::snprintf(szPassphrase, sizeof szPassphrase, szFormat, 0x2F, 0x4C, 0x76, 0x56, 0x61, 0x71, 0x30,
                              0x6C, 0x71, 0x2D, 0x7C, 0x24, 0x3D, 0x78, 0x4E, 0x79, 0x66, 0x6B, 0x38, 0x3A, 0x33, 0x36,
                              0x72, 0x28);
  return n == kPassphraseLength ? 1 : 0;
}

int EncryptToHex(const void* pInput, uint32_t uInputLength, const char* pszPassphrase, uint8_t** ppOutBuffer,
                 uint32_t* puOutLength) noexcept {
  if (pszPassphrase == nullptr) return 0;
  // Salt, key check, MAC and padding add well under 64 bytes; the zero byte after the text
  // must still fit in a 32-bit count.
  const size_t uExpected = 2 * (size_t{uInputLength} + 64);
  return RunStage(
      pInput, uInputLength, kMaxLength32 - 1, uExpected, 1,
      [pszPassphrase](BlockSink& sink) {
        return Chain(new CryptoPP::LegacyEncryptorWithMAC(
            pszPassphrase, new CryptoPP::HexEncoder(new CryptoPP::Redirector(sink), true, 0, "", "")));
      },
      ppOutBuffer, puOutLength);
}

// False when the text's first sealed bytes fail the passphrase's key check, which the decryptor
// would find only after the whole text had been hex-decoded: a plain programming file, tried as
// protected first, is turned down at once. True when the check passes or cannot be made here.
bool MayBeSealedWith(const void* pInput, uint32_t uInputLength, const char* pszPassphrase) noexcept {
  constexpr size_t kHeader = size_t{CryptoPP::LegacyDecryptor::SALTLENGTH} + size_t{CryptoPP::LegacyDecryptor::BLOCKSIZE};
  uint8_t header[kHeader];
  size_t nDigits = 0;
  // The hex decoder's rules: either case, every other character passed over.
  const auto* p = static_cast<const uint8_t*>(pInput);
  for (uint32_t i = 0; i < uInputLength && nDigits < 2 * kHeader; ++i) {
    const int c = p[i];
    const int v = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    if (v < 0) continue;
    if (nDigits % 2 == 0)
      header[nDigits / 2] = static_cast<uint8_t>(v << 4);
    else
      header[nDigits / 2] |= static_cast<uint8_t>(v);
    ++nDigits;
  }
  if (nDigits < 2 * kHeader) return true;
  try {
    CryptoPP::LegacyDecryptor probe(pszPassphrase, nullptr, true);
    probe.Put(header, kHeader);
  } catch (const CryptoPP::KeyBadErr&) {
    return false;
  } catch (...) {
  }
  return true;
}

int DecryptFromHex(const void* pInput, uint32_t uInputLength, const char* pszPassphrase, uint8_t** ppOutBuffer,
                   uint32_t* puOutLength) noexcept {
  if (pszPassphrase == nullptr) return 0;
  if (!MayBeSealedWith(pInput, uInputLength, pszPassphrase)) return 0;
  // Two passes rather than one chain: the hex decoder hands on one byte at a time, and the
  // decryptor's cost per piece would then outweigh its work. The sealed bytes are released
  // before the gzip stream is inflated, so this adds nothing to the peak.
  uint8_t* pSealed = nullptr;
  uint32_t uSealedLength = 0;
  if (!RunStage(
          pInput, uInputLength, kMaxLength32, uInputLength / 2, 0,
          [](BlockSink& sink) { return Chain(new CryptoPP::HexDecoder(new CryptoPP::Redirector(sink))); }, &pSealed,
          &uSealedLength))
    return 0;
  const int nResult = RunStage(
      pSealed, uSealedLength, kMaxLength32, uSealedLength, 0,
      [pszPassphrase](BlockSink& sink) {
        return Chain(new CryptoPP::LegacyDecryptorWithMAC(pszPassphrase, new CryptoPP::Redirector(sink), true));
      },
      ppOutBuffer, puOutLength);
  FreeBuffer(pSealed);
  return nResult;
}

int CompressAndEncrypt(const void* pInput, uint32_t uInputLength, uint8_t** ppOutBuffer, uint32_t* puOutLength,
                       uint32_t uMaxPlainLength) noexcept {
  // A text that the decode would refuse is not sealed: the file would read as not protected.
  if (uInputLength > uMaxPlainLength) return 0;
  const CodecPassphrase passphrase;
  uint8_t* pGzip = nullptr;
  uint32_t uGzipLength = 0;
  // Room for stored blocks on text that does not compress, so the block is never regrown.
  const size_t uExpected = size_t{uInputLength} + uInputLength / 16 + 1024;
  if (!RunStage(
          pInput, uInputLength, kMaxLength32, uExpected, 0,
          [](BlockSink& sink) {
            return Chain(new CryptoPP::Gzip(new CryptoPP::Redirector(sink), kDeflateLevel, kLog2WindowSize,
                                            kDetectUncompressible));
          },
          &pGzip, &uGzipLength))
    return 0;
  const int nResult = EncryptToHex(pGzip, uGzipLength, passphrase.Get(), ppOutBuffer, puOutLength);
  FreeBuffer(pGzip);
  return nResult;
}

int DecryptAndDecompress(const void* pInput, uint32_t uInputLength, uint8_t** ppOutBuffer, uint32_t* puOutLength,
                         uint32_t uMaxPlainLength) noexcept {
  const CodecPassphrase passphrase;
  uint8_t* pGzip = nullptr;
  uint32_t uGzipLength = 0;
  if (!DecryptFromHex(pInput, uInputLength, passphrase.Get(), &pGzip, &uGzipLength)) return 0;
  const int nResult = RunStage(
      pGzip, uGzipLength, uMaxPlainLength, ExpectedPlainLength(pGzip, uGzipLength), 0,
      [](BlockSink& sink) { return Chain(new CryptoPP::Gunzip(new CryptoPP::Redirector(sink), false, -1)); },
      ppOutBuffer, puOutLength);
  FreeBuffer(pGzip);
  return nResult;
}

CodecResult DecodeProtectedBuffer(uint32_t uFlags, const void* pInput, uint32_t uInputLength, uint8_t** ppOutBuffer,
                                  uint32_t* puOutLength) noexcept {
  if (uFlags != 0) return CODEC_E_DECODE;
  return DecryptAndDecompress(pInput, uInputLength, ppOutBuffer, puOutLength) ? CODEC_OK : CODEC_E_DECODE;
}

CodecResult EncodeProtectedBuffer(uint32_t uFlags, const void* pInput, uint32_t uInputLength, uint8_t** ppOutBuffer,
                                  uint32_t* puOutLength) noexcept {
  if (uFlags != 0) return CODEC_E_ENCODE;
  return CompressAndEncrypt(pInput, uInputLength, ppOutBuffer, puOutLength) ? CODEC_OK : CODEC_E_ENCODE;
}

CodecResult DecodeProtectedFile(uint32_t uFlags, std::FILE* pStream, uint8_t** ppOutBuffer,
                                uint32_t* puOutLength) noexcept {
  return RunOnFile(uFlags, pStream, ppOutBuffer, puOutLength, DecodeProtectedBuffer, CODEC_E_DECODE);
}

CodecResult EncodeProtectedFile(uint32_t uFlags, std::FILE* pStream, uint8_t** ppOutBuffer,
                                uint32_t* puOutLength) noexcept {
  return RunOnFile(uFlags, pStream, ppOutBuffer, puOutLength, EncodeProtectedBuffer, CODEC_E_ENCODE);
}
