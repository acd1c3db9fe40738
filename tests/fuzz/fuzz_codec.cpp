// The protected-file decode, on the raw input and on the input sealed with the codec's passphrase
// (so that the fuzzed bytes reach the gzip layer). A failure leaves the outputs as they were; a
// success re-encodes into well-formed protected text that decodes to the same bytes.
#include <cstdint>
#include <cstring>

#include "fuzz_check.h"
#include "protect/codec.h"

namespace {

uint8_t* const kUntouchedBuffer = reinterpret_cast<uint8_t*>(uintptr_t{0x5A5A5A50});
constexpr uint32_t kUntouchedLength = 0xA5A5A5A5u;

bool IsProtectedText(const uint8_t* text, uint32_t length) {
  if (length % 2 != 0 || text[length] != 0) return false;
  for (uint32_t i = 0; i < length; ++i)
    if (!((text[i] >= '0' && text[i] <= '9') || (text[i] >= 'A' && text[i] <= 'F'))) return false;
  return true;
}

void CheckDecode(const uint8_t* input, uint32_t length) {
  uint8_t* plain = kUntouchedBuffer;
  uint32_t plainLength = kUntouchedLength;
  const CodecResult result = DecodeProtectedBuffer(0, input, length, &plain, &plainLength);
  if (result != CODEC_OK) {
    FUZZ_CHECK(result == CODEC_E_DECODE);
    FUZZ_CHECK(plain == kUntouchedBuffer && plainLength == kUntouchedLength);
    return;
  }
  FUZZ_CHECK(plain != kUntouchedBuffer && plain != nullptr);

  uint8_t* text = kUntouchedBuffer;
  uint32_t textLength = kUntouchedLength;
  FUZZ_CHECK(EncodeProtectedBuffer(0, plain, plainLength, &text, &textLength) == CODEC_OK);
  FUZZ_CHECK(IsProtectedText(text, textLength));

  uint8_t* again = kUntouchedBuffer;
  uint32_t againLength = kUntouchedLength;
  FUZZ_CHECK(DecodeProtectedBuffer(0, text, textLength, &again, &againLength) == CODEC_OK);
  FUZZ_CHECK(againLength == plainLength && std::memcmp(again, plain, plainLength) == 0);
  FreeBuffer(again);
  FreeBuffer(text);
  FreeBuffer(plain);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > UINT32_MAX / 2 - 64) return 0;
  const auto length = static_cast<uint32_t>(size);
  CheckDecode(data, length);

  char passphrase[kCodecPassphraseBuffer];
  FUZZ_CHECK(BuildCodecPassphrase(passphrase) == 1);
  uint8_t* sealed = nullptr;
  uint32_t sealedLength = 0;
  FUZZ_CHECK(EncryptToHex(data, length, passphrase, &sealed, &sealedLength) == 1);
  CheckDecode(sealed, sealedLength);
  FreeBuffer(sealed);
  return 0;
}
