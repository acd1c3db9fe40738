// The file-protection codec: turns the text of a programming file into its protected form
// (upper-case hex of a passphrase-sealed, MAC-checked gzip stream) and back.
//
// Every function here is noexcept: failures come back as result codes, never as exceptions.
// Output buffers are malloc blocks that belong to the caller on success and go back with
// FreeBuffer; on any failure the outputs are left as they were and nothing is handed out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

// Result of the entry points; callers test for a negative value.
using CodecResult = int32_t;

inline constexpr CodecResult CODEC_OK = 0;
inline constexpr CodecResult CODEC_E_DECODE = static_cast<CodecResult>(0x80110005u);
inline constexpr CodecResult CODEC_E_ENCODE = static_cast<CodecResult>(0x80110006u);

// The largest plain text a decode hands out, and so the largest that an encode takes. Inflating
// stops as soon as a stream goes past it, so a small input that would inflate to gigabytes
// fails instead of exhausting memory.
inline constexpr uint32_t kCodecMaxDecodedLength = uint32_t{1} << 30;

// Size of the text buffer that BuildCodecPassphrase fills.
inline constexpr size_t kCodecPassphraseBuffer = 128;

// Decodes a protected text (need not be zero-terminated; either case of hex digits, other
// characters passed over). Output: exactly the plain bytes, no terminator. The flags must be 0.
CodecResult DecodeProtectedBuffer(uint32_t flags, const void* input, uint32_t inputLength, uint8_t** outBuffer,
                                  uint32_t* outLength) noexcept;

// Encodes a plain text of at most kCodecMaxDecodedLength bytes. Output: the hex text; its
// length counts the hex characters, and the buffer holds one zero byte more so that it reads
// as a zero-terminated text. The flags must be 0.
CodecResult EncodeProtectedBuffer(uint32_t flags, const void* input, uint32_t inputLength, uint8_t** outBuffer,
                                  uint32_t* outLength) noexcept;

// The encode of EncodeProtectedBuffer for a caller that keeps the protected text as a string: the
// same text, written straight into text (no buffer to release, no copy of it), which is left as
// it was on a failure.
CodecResult EncodeProtectedText(uint32_t flags, const void* input, uint32_t inputLength, std::string& text) noexcept;

// The buffer entry points over the whole of an open stream, read from its start (binary mode).
// A null stream, a stream whose size cannot be found (a pipe) or one that cannot be read whole
// fails with the direction's code. The stream is left after what was read.
CodecResult DecodeProtectedFile(uint32_t flags, std::FILE* stream, uint8_t** outBuffer, uint32_t* outLength) noexcept;
CodecResult EncodeProtectedFile(uint32_t flags, std::FILE* stream, uint8_t** outBuffer, uint32_t* outLength) noexcept;

// Heap blocks (malloc/free). AllocBuffer returns null when the heap is exhausted; a block of 0
// bytes is still a real block. FreeBuffer takes codec outputs, AllocBuffer blocks, buffers
// detached from a CMemFile, and null.
uint8_t* AllocBuffer(uint32_t count) noexcept;
void FreeBuffer(void* buffer) noexcept;

// Owns such a block until it goes out of scope, also when an exception passes.
struct CodecBufferRelease {
  void operator()(uint8_t* p) const noexcept { FreeBuffer(p); }
};
using CodecBuffer = std::unique_ptr<uint8_t, CodecBufferRelease>;

// Inner steps; each returns 1 for success and 0 for failure, leaving its outputs untouched on
// failure.

// Writes the codec's 24-character passphrase, zero-terminated, into the buffer given.
int BuildCodecPassphrase(char (&passphrase)[kCodecPassphraseBuffer]) noexcept;

// Plain text to protected text: gzip, then EncryptToHex with the codec's passphrase. A text
// longer than maxPlainLength bytes, which DecryptAndDecompress with that cap would refuse,
// fails at once.
int CompressAndEncrypt(const void* input, uint32_t inputLength, uint8_t** outBuffer, uint32_t* outLength,
                       uint32_t maxPlainLength = kCodecMaxDecodedLength) noexcept;

// Seals bytes with a passphrase (encryption with MAC) and writes them as upper-case hex, with a
// zero byte after the last character that the length does not count.
int EncryptToHex(const void* input, uint32_t inputLength, const char* passphrase, uint8_t** outBuffer,
                 uint32_t* outLength) noexcept;

// Protected text to plain text: DecryptFromHex with the codec's passphrase, then gunzip, which
// fails as soon as the plain text would pass maxPlainLength bytes.
int DecryptAndDecompress(const void* input, uint32_t inputLength, uint8_t** outBuffer, uint32_t* outLength,
                         uint32_t maxPlainLength = kCodecMaxDecodedLength) noexcept;

// Reads hex text and unseals it with a passphrase; fails on a wrong key check, damaged cipher
// text or a failed MAC check.
int DecryptFromHex(const void* input, uint32_t inputLength, const char* passphrase, uint8_t** outBuffer,
                   uint32_t* outLength) noexcept;
