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
#include <crypto++/misc.h>

#include "protect/hex_text.h"

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

// Where a stage's output collects: one malloc block, grown in place and handed out as it is,
// so no stage pays for a queue and a second copy. Past uLimit bytes it throws, which is how a
// stage's output is kept within its 32-bit length and a decode within its cap while the data is
// still arriving.
class BlockOutput {
 public:
  BlockOutput(size_t uLimit, size_t uExpected) : m_uLimit(uLimit) { Resize(std::min(uExpected, uLimit)); }
  BlockOutput(const BlockOutput&) = delete;
  BlockOutput& operator=(const BlockOutput&) = delete;
  ~BlockOutput() { std::free(m_pBlock); }

  void Append(const void* pData, size_t uLength) {
    if (uLength > m_uLimit - m_uSize)
      throw CryptoPP::Exception(CryptoPP::Exception::OTHER_ERROR, "output longer than its limit");
    if (uLength > m_uCapacity - m_uSize) {
      const size_t uNeeded = m_uSize + uLength;
      Resize(m_uCapacity + std::min(m_uLimit - m_uCapacity, std::max(m_uCapacity, uNeeded - m_uCapacity)));
    }
    if (uLength != 0) std::memcpy(m_pBlock + m_uSize, pData, uLength);
    m_uSize += uLength;
  }

  const uint8_t* Data() const { return m_pBlock; }
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
};

// The same into a string, for a caller that keeps the text as one: it is built there once
// rather than copied out of a block.
class TextOutput {
 public:
  TextOutput(size_t uLimit, size_t uExpected) : m_uLimit(uLimit) { m_text.reserve(std::min(uExpected, uLimit)); }

  void Append(const void* pData, size_t uLength) {
    const size_t uSize = m_text.size();
    if (uLength > m_uLimit - uSize)
      throw CryptoPP::Exception(CryptoPP::Exception::OTHER_ERROR, "output longer than its limit");
    if (uLength > m_text.capacity() - uSize)
      m_text.reserve(std::min(m_uLimit, std::max(2 * m_text.capacity(), uSize + uLength)));
    m_text.append(static_cast<const char*>(pData), uLength);
  }

  std::string& Text() { return m_text; }

 private:
  std::string m_text;
  size_t m_uLimit;
};

// The end of every filter chain: the first message, as it arrives, into an output. Bytes a
// gunzip passes on after the end of its stream are not part of the text.
template <class Output>
class OutputSink : public CryptoPP::Bufferless<CryptoPP::Sink> {
 public:
  explicit OutputSink(Output& output) : m_output(output) {}

  size_t Put2(const Byte* pData, size_t uLength, int nMessageEnd, bool /*blocking*/) override {
    if (m_bEnded) return 0;
    m_output.Append(pData, uLength);
    if (nMessageEnd != 0) m_bEnded = true;
    return 0;
  }

 private:
  Output& m_output;
  bool m_bEnded = false;
};

// The same, written as upper-case hex digits.
template <class Output>
class HexSink : public CryptoPP::Bufferless<CryptoPP::Sink> {
 public:
  explicit HexSink(Output& output) : m_output(output) {}

  size_t Put2(const Byte* pData, size_t uLength, int /*nMessageEnd*/, bool /*blocking*/) override {
    char digits[2 * kPiece];
    for (size_t uDone = 0; uDone < uLength;) {
      const size_t n = std::min(kPiece, uLength - uDone);
      HexEncodeBytes(pData + uDone, n, digits);
      m_output.Append(digits, 2 * n);
      uDone += n;
    }
    return 0;
  }

 private:
  static constexpr size_t kPiece = 2048;
  Output& m_output;
};

// Puts the whole input through the chain that makeChain builds on sink. Any exception (the
// library's errors, exhausted memory, an output's limit) is a failure.
template <class Sink, class MakeChain>
bool RunChain(const void* pInput, uint32_t uInputLength, Sink& sink, MakeChain makeChain) noexcept {
  if (pInput == nullptr && uInputLength != 0) return false;
  static const Byte kNothing = 0;
  const Byte* pBytes = pInput != nullptr ? static_cast<const Byte*>(pInput) : &kNothing;
  try {
    const Chain head = makeChain(new CryptoPP::Redirector(sink));
    head->Put(pBytes, uInputLength, true);
    head->MessageEnd(-1, true);
    return true;
  } catch (...) {
    return false;
  }
}

// One stage into a block of its own, handed out on success (with uSpare zero bytes after it);
// everything allocated is released on a failure.
template <class MakeChain>
int RunStage(const void* pInput, uint32_t uInputLength, size_t uLimit, size_t uExpected, size_t uSpare,
             MakeChain makeChain, uint8_t** ppOutBuffer, uint32_t* puOutLength) noexcept {
  if (ppOutBuffer == nullptr || puOutLength == nullptr) return 0;
  try {
    BlockOutput output(uLimit, uExpected);
    OutputSink<BlockOutput> sink(output);
    if (!RunChain(pInput, uInputLength, sink, makeChain)) return 0;
    const size_t uSize = output.Size();  // within uLimit, which is at most 32 bits
    *ppOutBuffer = output.Release(uSpare);
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
  char m_sz[kCodecPassphraseBuffer] = {};
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

// Room for the hex text of n sealed bytes: salt, key check, MAC and padding add well under 64.
size_t SealedHexLength(uint32_t uInputLength) { return 2 * (size_t{uInputLength} + 64); }

// Seals bytes with a passphrase and writes them as hex digits into output.
template <class Output>
bool SealAsHex(const void* pInput, uint32_t uInputLength, const char* pszPassphrase, Output& output) noexcept {
  if (pszPassphrase == nullptr) return false;
  HexSink<Output> sink(output);
  return RunChain(pInput, uInputLength, sink, [pszPassphrase](CryptoPP::BufferedTransformation* pEnd) {
    return Chain(new CryptoPP::LegacyEncryptorWithMAC(pszPassphrase, pEnd));
  });
}

// Gzips a plain text into a block of its own and hands it to seal, which writes the output;
// false when either fails. A text that the decode would refuse is not sealed: the file would
// read as not protected.
template <class Seal>
bool Compress(const void* pInput, uint32_t uInputLength, uint32_t uMaxPlainLength, Seal seal) noexcept {
  if (uInputLength > uMaxPlainLength) return false;
  try {
    // Room for stored blocks on text that does not compress, so the block is never regrown.
    BlockOutput gzip(kMaxLength32, size_t{uInputLength} + uInputLength / 16 + 1024);
    OutputSink<BlockOutput> sink(gzip);
    if (!RunChain(pInput, uInputLength, sink, [](CryptoPP::BufferedTransformation* pEnd) {
          return Chain(new CryptoPP::Gzip(pEnd, kDeflateLevel, kLog2WindowSize, kDetectUncompressible));
        }))
      return false;
    return seal(gzip.Data(), static_cast<uint32_t>(gzip.Size()));
  } catch (...) {
    return false;
  }
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

int BuildCodecPassphrase(char (&szPassphrase)[kCodecPassphraseBuffer]) noexcept {
  // The characters are immediate operands here, so the passphrase never sits whole in the
  // program's data.
  char szFormat[kCodecPassphraseBuffer] = "";
  for (int i = 0; i < kPassphraseLength; ++i) std::strcat(szFormat, "%c");
  const int n = std::snprintf(szPassphrase, sizeof szPassphrase, szFormat, 0x2F, 0x4C, 0x76, 0x56, 0x61, 0x71, 0x30,
                              0x6C, 0x71, 0x2D, 0x7C, 0x24, 0x3D, 0x78, 0x4E, 0x79, 0x66, 0x6B, 0x38, 0x3A, 0x33, 0x36,
                              0x72, 0x28);
  return n == kPassphraseLength ? 1 : 0;
}

int EncryptToHex(const void* pInput, uint32_t uInputLength, const char* pszPassphrase, uint8_t** ppOutBuffer,
                 uint32_t* puOutLength) noexcept {
  if (ppOutBuffer == nullptr || puOutLength == nullptr) return 0;
  try {
    // The zero byte after the text must still fit in a 32-bit count.
    BlockOutput output(kMaxLength32 - 1, SealedHexLength(uInputLength));
    if (!SealAsHex(pInput, uInputLength, pszPassphrase, output)) return 0;
    const size_t uSize = output.Size();
    *ppOutBuffer = output.Release(1);
    *puOutLength = static_cast<uint32_t>(uSize);
    return 1;
  } catch (...) {
    return 0;
  }
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
  if (pszPassphrase == nullptr || ppOutBuffer == nullptr || puOutLength == nullptr) return 0;
  if (pInput == nullptr && uInputLength != 0) return 0;
  if (!MayBeSealedWith(pInput, uInputLength, pszPassphrase)) return 0;
  try {
    BlockOutput output(kMaxLength32, uInputLength / 2);
    OutputSink<BlockOutput> sink(output);
    const Chain head(new CryptoPP::LegacyDecryptorWithMAC(pszPassphrase, new CryptoPP::Redirector(sink), true));
    // The digits go to the decryptor a piece at a time as they are read: no block of sealed
    // bytes, and no pass over them of its own.
    constexpr uint32_t kPiece = 16384;
    Byte sealed[kPiece / 2 + 1];
    HexReader reader;
    const auto* pText = static_cast<const uint8_t*>(pInput);
    for (uint32_t uDone = 0; uDone < uInputLength;) {
      const uint32_t n = std::min(kPiece, uInputLength - uDone);
      head->Put(sealed, reader.Read(pText + uDone, n, sealed), true);
      uDone += n;
    }
    head->MessageEnd(-1, true);
    const size_t uSize = output.Size();
    *ppOutBuffer = output.Release(0);
    *puOutLength = static_cast<uint32_t>(uSize);
    return 1;
  } catch (...) {
    return 0;
  }
}

int CompressAndEncrypt(const void* pInput, uint32_t uInputLength, uint8_t** ppOutBuffer, uint32_t* puOutLength,
                       uint32_t uMaxPlainLength) noexcept {
  const CodecPassphrase passphrase;
  return Compress(pInput, uInputLength, uMaxPlainLength, [&](const uint8_t* pGzip, uint32_t uGzipLength) {
           return EncryptToHex(pGzip, uGzipLength, passphrase.Get(), ppOutBuffer, puOutLength) == 1;
         })
             ? 1
             : 0;
}

int DecryptAndDecompress(const void* pInput, uint32_t uInputLength, uint8_t** ppOutBuffer, uint32_t* puOutLength,
                         uint32_t uMaxPlainLength) noexcept {
  const CodecPassphrase passphrase;
  uint8_t* pGzip = nullptr;
  uint32_t uGzipLength = 0;
  if (!DecryptFromHex(pInput, uInputLength, passphrase.Get(), &pGzip, &uGzipLength)) return 0;
  const int nResult = RunStage(
      pGzip, uGzipLength, uMaxPlainLength, ExpectedPlainLength(pGzip, uGzipLength), 0,
      [](CryptoPP::BufferedTransformation* pEnd) { return Chain(new CryptoPP::Gunzip(pEnd, false, -1)); },
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

CodecResult EncodeProtectedText(uint32_t uFlags, const void* pInput, uint32_t uInputLength, std::string& text) noexcept {
  if (uFlags != 0) return CODEC_E_ENCODE;
  const CodecPassphrase passphrase;
  const bool bSealed =
      Compress(pInput, uInputLength, kCodecMaxDecodedLength, [&](const uint8_t* pGzip, uint32_t uGzipLength) {
        TextOutput output(kMaxLength32 - 1, SealedHexLength(uGzipLength));
        if (!SealAsHex(pGzip, uGzipLength, passphrase.Get(), output)) return false;
        text.swap(output.Text());
        return true;
      });
  return bSealed ? CODEC_OK : CODEC_E_ENCODE;
}

CodecResult DecodeProtectedFile(uint32_t uFlags, std::FILE* pStream, uint8_t** ppOutBuffer,
                                uint32_t* puOutLength) noexcept {
  return RunOnFile(uFlags, pStream, ppOutBuffer, puOutLength, DecodeProtectedBuffer, CODEC_E_DECODE);
}

CodecResult EncodeProtectedFile(uint32_t uFlags, std::FILE* pStream, uint8_t** ppOutBuffer,
                                uint32_t* puOutLength) noexcept {
  return RunOnFile(uFlags, pStream, ppOutBuffer, puOutLength, EncodeProtectedBuffer, CODEC_E_ENCODE);
}
