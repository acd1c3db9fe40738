// The codec on a full-size programming file (the S3 text of an 8 MiB image, about 19 MB), whole
// and stage by stage. Each stage runs bare: the library filter alone, writing into a buffer
// allocated once, so the whole codec's time can be set against the sum of its stages.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <crypto++/default.h>
#include <crypto++/filters.h>
#include <crypto++/gzip.h>
#include <crypto++/hex.h>

#include "protect/codec.h"

namespace {

constexpr size_t kImageSize = 8u << 20;
constexpr size_t kBytesPerLine = 64;
constexpr size_t kRunLength = 64u << 10;  // alternate runs of random bytes and erased (0xFF) flash

// An S3 text of kImageSize bytes: 64 data bytes per line, CR LF ended, header and end record.
std::string MakeS3Text() {
  static const char* digits = "0123456789ABCDEF";
  std::mt19937_64 rng(2024);
  std::string text = "S00600004844521B\r\n";
  text.reserve(kImageSize / kBytesPerLine * 144 + 64);
  for (size_t offset = 0; offset < kImageSize; offset += kBytesPerLine) {
    uint8_t record[1 + 4 + kBytesPerLine];
    record[0] = static_cast<uint8_t>(sizeof record);  // count: address, data and checksum
    const auto address = static_cast<uint32_t>(offset);
    for (int k = 0; k < 4; ++k) record[1 + k] = static_cast<uint8_t>(address >> (24 - 8 * k));
    const bool erased = (offset / kRunLength) % 2 == 1;
    for (size_t k = 0; k < kBytesPerLine; ++k) record[5 + k] = erased ? 0xFF : static_cast<uint8_t>(rng());
    unsigned sum = 0;
    text += "S3";
    for (uint8_t b : record) {
      sum += b;
      text += digits[b >> 4];
      text += digits[b & 15];
    }
    const auto checksum = static_cast<uint8_t>(~sum);
    text += digits[checksum >> 4];
    text += digits[checksum & 15];
    text += "\r\n";
  }
  return text + "S70500000000FA\r\n";
}

// The text and each of its layers, made once with the library.
struct Layers {
  std::string passphrase;
  std::string plain;
  std::string gzip;
  std::string sealed;
  std::string hex;
};

const Layers& GetLayers() {
  static const Layers layers = [] {
    Layers l;
    char sz[CODEC_PASSPHRASE_BUFFER];
    BuildCodecPassphrase(sz);
    l.passphrase = sz;
    l.plain = MakeS3Text();
    CryptoPP::StringSource(l.plain, true, new CryptoPP::Gzip(new CryptoPP::StringSink(l.gzip), 5, 15, true));
    CryptoPP::StringSource(l.gzip, true,
                           new CryptoPP::LegacyEncryptorWithMAC(l.passphrase.c_str(), new CryptoPP::StringSink(l.sealed)));
    CryptoPP::StringSource(l.sealed, true, new CryptoPP::HexEncoder(new CryptoPP::StringSink(l.hex), true, 0));
    return l;
  }();
  return layers;
}

void SetRates(benchmark::State& state, size_t inBytes, size_t outBytes) {
  const auto n = static_cast<double>(state.iterations());
  state.counters["in_MB/s"] = benchmark::Counter(n * static_cast<double>(inBytes) / 1e6, benchmark::Counter::kIsRate);
  state.counters["out_MB/s"] = benchmark::Counter(n * static_cast<double>(outBytes) / 1e6, benchmark::Counter::kIsRate);
}

// One bare stage: the filter that make builds on a sink, over the whole input, once per iteration.
template <class Make>
void RunStage(benchmark::State& state, const std::string& input, const std::string& output, Make make) {
  std::vector<CryptoPP::byte> out(output.size() + 1024);
  for (auto _ : state) {
    auto* sink = new CryptoPP::ArraySink(out.data(), out.size());
    std::unique_ptr<CryptoPP::BufferedTransformation> filter(make(sink));
    filter->Put(reinterpret_cast<const CryptoPP::byte*>(input.data()), input.size());
    filter->MessageEnd();
    if (sink->TotalPutLength() != output.size()) state.SkipWithError("stage output has the wrong length");
  }
  SetRates(state, input.size(), output.size());
}

void BM_Encode(benchmark::State& state) {
  const Layers& l = GetLayers();
  uint32_t n = 0;
  for (auto _ : state) {
    uint8_t* p = nullptr;
    if (EncodeProtectedBuffer(0, l.plain.data(), static_cast<uint32_t>(l.plain.size()), &p, &n) != CODEC_OK)
      state.SkipWithError("encode failed");
    FreeBuffer(p);
  }
  SetRates(state, l.plain.size(), n);
}

void BM_Decode(benchmark::State& state) {
  const Layers& l = GetLayers();
  uint32_t n = 0;
  for (auto _ : state) {
    uint8_t* p = nullptr;
    if (DecodeProtectedBuffer(0, l.hex.data(), static_cast<uint32_t>(l.hex.size()), &p, &n) != CODEC_OK)
      state.SkipWithError("decode failed");
    FreeBuffer(p);
  }
  SetRates(state, l.hex.size(), n);
}

void BM_StageGzip(benchmark::State& state) {
  const Layers& l = GetLayers();
  RunStage(state, l.plain, l.gzip, [](CryptoPP::BufferedTransformation* sink) { return new CryptoPP::Gzip(sink, 5, 15, true); });
}

void BM_StageEncryptWithMac(benchmark::State& state) {
  const Layers& l = GetLayers();
  RunStage(state, l.gzip, l.sealed, [&](CryptoPP::BufferedTransformation* sink) {
    return new CryptoPP::LegacyEncryptorWithMAC(l.passphrase.c_str(), sink);
  });
}

void BM_StageHexEncode(benchmark::State& state) {
  const Layers& l = GetLayers();
  RunStage(state, l.sealed, l.hex, [](CryptoPP::BufferedTransformation* sink) { return new CryptoPP::HexEncoder(sink, true, 0); });
}

void BM_StageHexDecode(benchmark::State& state) {
  const Layers& l = GetLayers();
  RunStage(state, l.hex, l.sealed, [](CryptoPP::BufferedTransformation* sink) { return new CryptoPP::HexDecoder(sink); });
}

void BM_StageDecryptWithMac(benchmark::State& state) {
  const Layers& l = GetLayers();
  RunStage(state, l.sealed, l.gzip, [&](CryptoPP::BufferedTransformation* sink) {
    return new CryptoPP::LegacyDecryptorWithMAC(l.passphrase.c_str(), sink, true);
  });
}

void BM_StageGunzip(benchmark::State& state) {
  const Layers& l = GetLayers();
  RunStage(state, l.gzip, l.plain, [](CryptoPP::BufferedTransformation* sink) { return new CryptoPP::Gunzip(sink); });
}

}  // namespace

BENCHMARK(BM_Encode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StageGzip)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StageEncryptWithMac)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StageHexEncode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StageHexDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StageDecryptWithMac)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StageGunzip)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
