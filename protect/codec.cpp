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
// so no stage pays for a queue and a second copy. Past limit bytes it throws, which is how a
// stage's output is kept within its 32-bit length and a decode within its cap while the data is
// still arriving.
class BlockOutput {
 public:
  BlockOutput(size_t limit, size_t expected) : m_limit(limit) { Resize(std::min(expected, limit)); }
  BlockOutput(const BlockOutput&) = delete;
  BlockOutput& operator=(const BlockOutput&) = delete;
  ~BlockOutput() { std::free(m_block); }

  void Append(const void* data, size_t length) {
    if (length > m_limit - m_size)
      throw CryptoPP::Exception(CryptoPP::Exception::OTHER_ERROR, "output longer than its limit");
    if (length > m_capacity - m_size) {
      const size_t needed = m_size + length;
      Resize(m_capacity + std::min(m_limit - m_capacity, std::max(m_capacity, needed - m_capacity)));
    }
    if (length != 0) std::memcpy(m_block + m_size, data, length);
    m_size += length;
  }

  const uint8_t* Data() const { return m_block; }
  size_t Size() const { return m_size; }

  // Hands the block over, cut to its size plus spare zero bytes (and never a null block).
  uint8_t* Release(size_t spare) {
    const size_t total = std::max<size_t>(m_size + spare, 1);
    if (total != m_capacity) Resize(total);
    std::memset(m_block + m_size, 0, total - m_size);
    return std::exchange(m_block, nullptr);
  }

 private:
  void Resize(size_t capacity) {
    if (capacity == 0) return;
    void* p = std::realloc(m_block, capacity);
    if (p == nullptr) throw std::bad_alloc();
    m_block = static_cast<uint8_t*>(p);
    m_capacity = capacity;
  }

  uint8_t* m_block = nullptr;
  size_t m_size = 0;
  size_t m_capacity = 0;
  size_t m_limit;
};

// The same into a string, for a caller that keeps the text as one: it is built there once
// rather than copied out of a block.
class TextOutput {
 public:
  TextOutput(size_t limit, size_t expected) : m_limit(limit) { m_text.reserve(std::min(expected, limit)); }

  void Append(const void* data, size_t length) {
    if (length > m_limit - m_text.size())
      throw CryptoPP::Exception(CryptoPP::Exception::OTHER_ERROR, "output longer than its limit");
    m_text.append(static_cast<const char*>(data), length);
  }

  std::string& Text() { return m_text; }

 private:
  std::string m_text;
  size_t m_limit;
};

// The end of every filter chain: the first message, as it arrives, into an output. Bytes a
// gunzip passes on after the end of its stream are not part of the text.
template <class Output>
class OutputSink : public CryptoPP::Bufferless<CryptoPP::Sink> {
 public:
  explicit OutputSink(Output& output) : m_output(output) {}

  size_t Put2(const Byte* data, size_t length, int messageEnd, bool /*blocking*/) override {
    if (m_ended) return 0;
    m_output.Append(data, length);
    if (messageEnd != 0) m_ended = true;
    return 0;
  }

 private:
  Output& m_output;
  bool m_ended = false;
};

// The same, written as upper-case hex digits.
template <class Output>
class HexSink : public CryptoPP::Bufferless<CryptoPP::Sink> {
 public:
  explicit HexSink(Output& output) : m_output(output) {}

  size_t Put2(const Byte* data, size_t length, int /*messageEnd*/, bool /*blocking*/) override {
    char digits[2 * kChunk];
    for (size_t done = 0; done < length;) {
      const size_t n = std::min(kChunk, length - done);
      HexEncodeBytes(data + done, n, digits);
      m_output.Append(digits, 2 * n);
      done += n;
    }
    return 0;
  }

 private:
  static constexpr size_t kChunk = 2048;
  Output& m_output;
};

// Puts the whole input through the chain that makeChain builds on sink. Any exception (the
// library's errors, exhausted memory, an output's limit) is a failure.
template <class Sink, class MakeChain>
bool RunChain(const void* input, uint32_t inputLength, Sink& sink, MakeChain makeChain) noexcept {
  if (input == nullptr && inputLength != 0) return false;
  static const Byte kNothing = 0;
  const Byte* bytes = input != nullptr ? static_cast<const Byte*>(input) : &kNothing;
  try {
    const Chain head = makeChain(new CryptoPP::Redirector(sink));
    head->Put(bytes, inputLength, true);
    head->MessageEnd(-1, true);
    return true;
  } catch (...) {
    return false;
  }
}

// A block of its own, filled by fill (false or any exception is a failure) and handed out on
// success with spare zero bytes after it; everything allocated is released on a failure.
template <class Fill>
int IntoBlock(size_t limit, size_t expected, size_t spare, Fill fill, uint8_t** outBuffer,
              uint32_t* outLength) noexcept {
  if (outBuffer == nullptr || outLength == nullptr) return 0;
  try {
    BlockOutput output(limit, expected);
    if (!fill(output)) return 0;
    const size_t size = output.Size();  // within limit, which is at most 32 bits
    *outBuffer = output.Release(spare);
    *outLength = static_cast<uint32_t>(size);
    return 1;
  } catch (...) {
    return 0;
  }
}

// The codec's passphrase for the length of one call, wiped when the call ends.
class CodecPassphrase {
 public:
  CodecPassphrase() noexcept : m_built(BuildCodecPassphrase(m_text) == 1) {}
  CodecPassphrase(const CodecPassphrase&) = delete;
  CodecPassphrase& operator=(const CodecPassphrase&) = delete;
  ~CodecPassphrase() { CryptoPP::SecureWipeBuffer(reinterpret_cast<Byte*>(m_text), sizeof m_text); }

  const char* Get() const noexcept { return m_built ? m_text : nullptr; }

 private:
  char m_text[kCodecPassphraseBuffer] = {};
  bool m_built;
};

// The plain length a gzip stream's trailer gives (modulo 2^32), bounded by what deflate can
// produce from n bytes: only a hint for the first allocation, never trusted as the result.
size_t ExpectedPlainLength(const uint8_t* gzip, uint32_t length) {
  if (length < 18) return 0;  // shorter than a gzip header and trailer
  const uint8_t* p = gzip + length - 4;
  const uint64_t stated = p[0] | uint64_t{p[1]} << 8 | uint64_t{p[2]} << 16 | uint64_t{p[3]} << 24;
  return static_cast<size_t>(std::min(stated, uint64_t{length} * kMaxInflateRatio));
}

// Room for the hex text of n sealed bytes: salt, key check, MAC and padding add well under 64.
size_t SealedHexLength(uint32_t inputLength) { return 2 * (size_t{inputLength} + 64); }

// Seals bytes with a passphrase and writes them as hex digits into output.
template <class Output>
bool SealAsHex(const void* input, uint32_t inputLength, const char* passphrase, Output& output) noexcept {
  if (passphrase == nullptr) return false;
  HexSink<Output> sink(output);
  return RunChain(input, inputLength, sink, [passphrase](CryptoPP::BufferedTransformation* attachment) {
    return Chain(new CryptoPP::LegacyEncryptorWithMAC(passphrase, attachment));
  });
}

// Gzips a plain text into a block of its own and hands it to seal, which writes the output;
// false when either fails. A text that the decode would refuse is not sealed: the file would
// read as not protected.
template <class Seal>
bool Compress(const void* input, uint32_t inputLength, uint32_t maxPlainLength, Seal seal) noexcept {
  if (inputLength > maxPlainLength) return false;
  try {
    // Room for stored blocks on text that does not compress, so the block is never regrown.
    BlockOutput gzip(kMaxLength32, size_t{inputLength} + inputLength / 16 + 1024);
    OutputSink<BlockOutput> sink(gzip);
    if (!RunChain(input, inputLength, sink, [](CryptoPP::BufferedTransformation* attachment) {
          return Chain(new CryptoPP::Gzip(attachment, kDeflateLevel, kLog2WindowSize, kDetectUncompressible));
        }))
      return false;
    return seal(gzip.Data(), static_cast<uint32_t>(gzip.Size()));
  } catch (...) {
    return false;
  }
}

using BufferEntry = CodecResult (*)(uint32_t, const void*, uint32_t, uint8_t**, uint32_t*) noexcept;

// Reads the whole stream and hands it to the buffer entry point of the same direction.
CodecResult RunOnFile(uint32_t flags, std::FILE* stream, uint8_t** outBuffer, uint32_t* outLength, BufferEntry entry,
                      CodecResult failure) noexcept {
  if (flags != 0 || stream == nullptr || outBuffer == nullptr || outLength == nullptr) return failure;
  if (std::fseek(stream, 0, SEEK_END) != 0) return failure;
  const long size = std::ftell(stream);
  // The buffer holds one byte more than the length, and both must fit in 32 bits.
  if (size < 0 || static_cast<unsigned long>(size) >= kMaxLength32) return failure;
  if (std::fseek(stream, 0, SEEK_SET) != 0) return failure;
  const auto length = static_cast<uint32_t>(size);
  uint8_t* buffer = AllocBuffer(length + 1);
  if (buffer == nullptr) return failure;
  CodecResult result = failure;
  if (std::fread(buffer, 1, length, stream) == length) {
    buffer[length] = 0;
    result = entry(flags, buffer, length, outBuffer, outLength);
  }
  FreeBuffer(buffer);
  return result;
}

}  // namespace

uint8_t* AllocBuffer(uint32_t count) noexcept { return static_cast<uint8_t*>(std::malloc(count != 0 ? count : 1)); }

void FreeBuffer(void* buffer) noexcept { std::free(buffer); }

int BuildCodecPassphrase(char (&passphrase)[kCodecPassphraseBuffer]) noexcept {
  // The characters are immediate operands here, so the passphrase never sits whole in the
  // program's data.
  char format[kCodecPassphraseBuffer] = "";
  for (int i = 0; i < kPassphraseLength; ++i) std::strcat(format, "%c");
  const int n =
      std::snprintf(passphrase, sizeof passphrase, format, 0x2F, 0x4C, 0x76, 0x56, 0x61, 0x71, 0x30, 0x6C, 0x71, 0x2D,
                    0x7C, 0x24, 0x3D, 0x78, 0x4E, 0x79, 0x66, 0x6B, 0x38, 0x3A, 0x33, 0x36, 0x72, 0x28);
  return n == kPassphraseLength ? 1 : 0;
}

int EncryptToHex(const void* input, uint32_t inputLength, const char* passphrase, uint8_t** outBuffer,
                 uint32_t* outLength) noexcept {
  // The zero byte after the text must still fit in a 32-bit count.
  return IntoBlock(
      kMaxLength32 - 1, SealedHexLength(inputLength), 1,
      [&](BlockOutput& output) { return SealAsHex(input, inputLength, passphrase, output); }, outBuffer, outLength);
}

// False when the text's first sealed bytes fail the passphrase's key check, which the decryptor
// would find only after the whole text had been hex-decoded: a plain programming file, tried as
// protected first, is turned down at once. True when the check passes or cannot be made here.
bool MayBeSealedWith(const void* input, uint32_t inputLength, const char* passphrase) noexcept {
  constexpr size_t kHeader =
      size_t{CryptoPP::LegacyDecryptor::SALTLENGTH} + size_t{CryptoPP::LegacyDecryptor::BLOCKSIZE};
  uint8_t header[kHeader];
  size_t got = 0;
  HexReader reader;
  const auto* text = static_cast<const uint8_t*>(input);
  for (uint32_t done = 0; done < inputLength && got < kHeader;) {
    // Read gives at most (n + 1) / 2 bytes, which for an even n is just the room left.
    const uint32_t n = std::min(static_cast<uint32_t>(2 * (kHeader - got)), inputLength - done);
    got += reader.Read(text + done, n, header + got);
    done += n;
  }
  if (got < kHeader) return true;
  try {
    CryptoPP::LegacyDecryptor probe(passphrase, nullptr, true);
    probe.Put(header, kHeader);
  } catch (const CryptoPP::KeyBadErr&) {
    return false;
  } catch (...) {
  }
  return true;
}

int DecryptFromHex(const void* input, uint32_t inputLength, const char* passphrase, uint8_t** outBuffer,
                   uint32_t* outLength) noexcept {
  if (passphrase == nullptr || (input == nullptr && inputLength != 0)) return 0;
  if (!MayBeSealedWith(input, inputLength, passphrase)) return 0;
  return IntoBlock(
      kMaxLength32, inputLength / 2, 0,
      [&](BlockOutput& output) {
        OutputSink<BlockOutput> sink(output);
        const Chain head(new CryptoPP::LegacyDecryptorWithMAC(passphrase, new CryptoPP::Redirector(sink), true));
        // The digits go to the decryptor a chunk at a time as they are read: no block of sealed
        // bytes, and no pass over them of its own.
        constexpr uint32_t kChunk = 16384;
        Byte sealed[kChunk / 2 + 1];
        HexReader reader;
        const auto* text = static_cast<const uint8_t*>(input);
        for (uint32_t done = 0; done < inputLength;) {
          const uint32_t n = std::min(kChunk, inputLength - done);
          head->Put(sealed, reader.Read(text + done, n, sealed), true);
          done += n;
        }
        head->MessageEnd(-1, true);
        return true;
      },
      outBuffer, outLength);
}

int CompressAndEncrypt(const void* input, uint32_t inputLength, uint8_t** outBuffer, uint32_t* outLength,
                       uint32_t maxPlainLength) noexcept {
  const CodecPassphrase passphrase;
  return Compress(input, inputLength, maxPlainLength,
                  [&](const uint8_t* gzip, uint32_t gzipLength) {
                    return EncryptToHex(gzip, gzipLength, passphrase.Get(), outBuffer, outLength) == 1;
                  })
             ? 1
             : 0;
}

int DecryptAndDecompress(const void* input, uint32_t inputLength, uint8_t** outBuffer, uint32_t* outLength,
                         uint32_t maxPlainLength) noexcept {
  const CodecPassphrase passphrase;
  uint8_t* gzip = nullptr;
  uint32_t gzipLength = 0;
  if (!DecryptFromHex(input, inputLength, passphrase.Get(), &gzip, &gzipLength)) return 0;
  const int result = IntoBlock(
      maxPlainLength, ExpectedPlainLength(gzip, gzipLength), 0,
      [&](BlockOutput& output) {
        OutputSink<BlockOutput> sink(output);
        return RunChain(gzip, gzipLength, sink, [](CryptoPP::BufferedTransformation* attachment) {
          return Chain(new CryptoPP::Gunzip(attachment, false, -1));
        });
      },
      outBuffer, outLength);
  FreeBuffer(gzip);
  return result;
}

CodecResult DecodeProtectedBuffer(uint32_t flags, const void* input, uint32_t inputLength, uint8_t** outBuffer,
                                  uint32_t* outLength) noexcept {
  if (flags != 0) return CODEC_E_DECODE;
  return DecryptAndDecompress(input, inputLength, outBuffer, outLength) ? CODEC_OK : CODEC_E_DECODE;
}

CodecResult EncodeProtectedBuffer(uint32_t flags, const void* input, uint32_t inputLength, uint8_t** outBuffer,
                                  uint32_t* outLength) noexcept {
  if (flags != 0) return CODEC_E_ENCODE;
  return CompressAndEncrypt(input, inputLength, outBuffer, outLength) ? CODEC_OK : CODEC_E_ENCODE;
}

CodecResult EncodeProtectedText(uint32_t flags, const void* input, uint32_t inputLength, std::string& text) noexcept {
  if (flags != 0) return CODEC_E_ENCODE;
  const CodecPassphrase passphrase;
  const bool sealed =
      Compress(input, inputLength, kCodecMaxDecodedLength, [&](const uint8_t* gzip, uint32_t gzipLength) {
        TextOutput output(kMaxLength32 - 1, SealedHexLength(gzipLength));
        if (!SealAsHex(gzip, gzipLength, passphrase.Get(), output)) return false;
        text.swap(output.Text());
        return true;
      });
  return sealed ? CODEC_OK : CODEC_E_ENCODE;
}

CodecResult DecodeProtectedFile(uint32_t flags, std::FILE* stream, uint8_t** outBuffer, uint32_t* outLength) noexcept {
  return RunOnFile(flags, stream, outBuffer, outLength, DecodeProtectedBuffer, CODEC_E_DECODE);
}

CodecResult EncodeProtectedFile(uint32_t flags, std::FILE* stream, uint8_t** outBuffer, uint32_t* outLength) noexcept {
  return RunOnFile(flags, stream, outBuffer, outLength, EncodeProtectedBuffer, CODEC_E_ENCODE);
}
