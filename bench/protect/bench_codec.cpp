// The codec on a full-size programming file, whole and stage by stage: the S3 text of an 8 MiB
// image (about 19 MB) and of a 64 MiB one (about 150 MB), the argument giving the size in MiB.
// Each stage runs bare, writing into a buffer allocated once, so the whole codec's time can be set
// against the sum of its stages: the library's filters, and the codec's own hex coding beside the
// library's hex filters that it replaces.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <crypto++/default.h>
#include <crypto++/filters.h>
#include <crypto++/gzip.h>
#include <crypto++/hex.h>

#include "protect/codec.h"
#include "protect/hex_text.h"

namespace {

constexpr size_t kBytesPerLine = 64;
constexpr size_t kRunLength = 64u << 10;  // alternate runs of random bytes and erased (0xFF) flash

// The S3 text of an image of imageSize bytes: 64 data bytes per line, CR LF ended, header and end
// record.
std::string MakeS3Text(size_t imageSize) {
  static const char* digits = "0123456789ABCDEF";
  std::mt19937_64 rng(2024);
  std::string text = "S00600004844521B\r\n";
  text.reserve(imageSize / kBytesPerLine * 144 + 64);
  for (size_t offset = 0; offset < imageSize; offset += kBytesPerLine) {
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

// The text and each of its layers, made with the library.
struct Layers {
  size_t mib = 0;
  std::string passphrase;
  std::string plain;
  std::string gzip;
  std::string sealed;
  std::string hex;
};

// The layers of the run's size; one size is kept at a time.
const Layers& GetLayers(const benchmark::State& state) {
  static Layers l;
  const auto mib = static_cast<size_t>(state.range(0));
  if (l.mib != mib) {
    l = Layers();
    l.mib = mib;
    char sz[kCodecPassphraseBuffer];
    BuildCodecPassphrase(sz);
    l.passphrase = sz;
    l.plain = MakeS3Text(mib << 20);
    CryptoPP::StringSource(l.plain, true, new CryptoPP::Gzip(new CryptoPP::StringSink(l.gzip), 5, 15, true));
    CryptoPP::StringSource(
        l.gzip, true, new CryptoPP::LegacyEncryptorWithMAC(l.passphrase.c_str(), new CryptoPP::StringSink(l.sealed)));
    CryptoPP::StringSource(l.sealed, true, new CryptoPP::HexEncoder(new CryptoPP::StringSink(l.hex), true, 0));
  }
  return l;
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
  const Layers& l = GetLayers(state);
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
  const Layers& l = GetLayers(state);
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
  const Layers& l = GetLayers(state);
  RunStage(state, l.plain, l.gzip,
           [](CryptoPP::BufferedTransformation* sink) { return new CryptoPP::Gzip(sink, 5, 15, true); });
}

void BM_StageEncryptWithMac(benchmark::State& state) {
  const Layers& l = GetLayers(state);
  RunStage(state, l.gzip, l.sealed, [&](CryptoPP::BufferedTransformation* sink) {
    return new CryptoPP::LegacyEncryptorWithMAC(l.passphrase.c_str(), sink);
  });
}

void BM_StageHexEncodeLibrary(benchmark::State& state) {
  const Layers& l = GetLayers(state);
  RunStage(state, l.sealed, l.hex,
           [](CryptoPP::BufferedTransformation* sink) { return new CryptoPP::HexEncoder(sink, true, 0); });
}

void BM_StageHexDecodeLibrary(benchmark::State& state) {
  const Layers& l = GetLayers(state);
  RunStage(state, l.hex, l.sealed,
           [](CryptoPP::BufferedTransformation* sink) { return new CryptoPP::HexDecoder(sink); });
}

// The codec's own hex coding, by table, in the chunks the codec uses.
void BM_StageHexEncodeTable(benchmark::State& state) {
  const Layers& l = GetLayers(state);
  std::string out(l.hex.size(), '\0');
  const auto* in = reinterpret_cast<const uint8_t*>(l.sealed.data());
  for (auto _ : state) {
    for (size_t at = 0; at < l.sealed.size(); at += 2048)
      HexEncodeBytes(in + at, std::min<size_t>(2048, l.sealed.size() - at), out.data() + 2 * at);
    benchmark::DoNotOptimize(out.data());
  }
  if (out != l.hex) state.SkipWithError("the digits differ from the library's");
  SetRates(state, l.sealed.size(), l.hex.size());
}

void BM_StageHexDecodeTable(benchmark::State& state) {
  const Layers& l = GetLayers(state);
  std::string out(l.sealed.size(), '\0');
  const auto* in = reinterpret_cast<const uint8_t*>(l.hex.data());
  for (auto _ : state) {
    HexReader reader;
    size_t written = 0;
    for (size_t at = 0; at < l.hex.size(); at += 16384)
      written += reader.Read(in + at, std::min<size_t>(16384, l.hex.size() - at),
                             reinterpret_cast<uint8_t*>(out.data()) + written);
    benchmark::DoNotOptimize(out.data());
  }
  if (out != l.sealed) state.SkipWithError("the bytes differ from the library's");
  SetRates(state, l.hex.size(), l.sealed.size());
}

void BM_StageDecryptWithMac(benchmark::State& state) {
  const Layers& l = GetLayers(state);
  RunStage(state, l.sealed, l.gzip, [&](CryptoPP::BufferedTransformation* sink) {
    return new CryptoPP::LegacyDecryptorWithMAC(l.passphrase.c_str(), sink, true);
  });
}

void BM_StageGunzip(benchmark::State& state) {
  const Layers& l = GetLayers(state);
  RunStage(state, l.gzip, l.plain, [](CryptoPP::BufferedTransformation* sink) { return new CryptoPP::Gunzip(sink); });
}

}  // namespace

int main(int argc, char** argv) {
  // Size by size, so that each input is made once.
  const std::pair<const char*, void (*)(benchmark::State&)> bySize[] = {
      {"BM_Encode", BM_Encode},
      {"BM_StageGzip", BM_StageGzip},
      {"BM_StageEncryptWithMac", BM_StageEncryptWithMac},
      {"BM_StageHexEncodeLibrary", BM_StageHexEncodeLibrary},
      {"BM_StageHexEncodeTable", BM_StageHexEncodeTable},
      {"BM_Decode", BM_Decode},
      {"BM_StageHexDecodeLibrary", BM_StageHexDecodeLibrary},
      {"BM_StageHexDecodeTable", BM_StageHexDecodeTable},
      {"BM_StageDecryptWithMac", BM_StageDecryptWithMac},
      {"BM_StageGunzip", BM_StageGunzip},
  };
  for (int mib : {8, 64})
    for (const auto& [name, fn] : bySize)
      benchmark::RegisterBenchmark(name, fn)->Arg(mib)->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
