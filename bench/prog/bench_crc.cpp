// CRC-32 over the whole 8 MiB image and re-blocking it into 32-byte records.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "bench_data.h"
#include "prog/crc.h"
#include "prog/prog_base.h"

namespace {

// The benchmark image as 64-byte records, the way the text reader leaves it.
const CProgParse& Image64() {
  static const CProgParse image = [] {
    const std::vector<uint8_t> bytes = benchdata::MakeImage();
    CProgParse img;
    for (size_t off = 0; off < bytes.size(); off += PROG_MAX_RECORD_DATA) {
      CProgRecord& r = img.m_listRecords.emplace_back();
      r.m_dwAddress = benchdata::kImageBase + static_cast<uint32_t>(off);
      r.m_nLength = static_cast<uint8_t>(std::min<size_t>(PROG_MAX_RECORD_DATA, bytes.size() - off));
      std::memcpy(r.m_data, bytes.data() + off, r.m_nLength);
      r.m_nRecordType = 3;
    }
    return img;
  }();
  return image;
}

void BM_CalcCrc32(benchmark::State& state) {
  const std::vector<uint8_t> bytes = benchdata::MakeImage();
  for (auto _ : state) benchmark::DoNotOptimize(CalcCrc32(bytes.data(), static_cast<uint32_t>(bytes.size())));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

// The one-table loop, for comparison with the eight-table one above.
void BM_CalcCrc32_Bytewise(benchmark::State& state) {
  const std::vector<uint8_t> bytes = benchdata::MakeImage();
  for (auto _ : state) {
    uint32_t crc = 0xFFFFFFFF;
    for (const uint8_t b : bytes) crc = (crc >> 8) ^ g_Crc32Table[(crc ^ b) & 0xFF];
    benchmark::DoNotOptimize(crc ^ 0xFFFFFFFF);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

void BM_GetRangeCrc(benchmark::State& state) {
  const CProgParse& image = Image64();
  for (auto _ : state)
    benchmark::DoNotOptimize(image.GetRangeCrc(benchdata::kImageBase, static_cast<uint32_t>(benchdata::kImageSize)));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * benchdata::kImageSize));
}

void BM_ReblockAll32(benchmark::State& state) {
  std::optional<CProgParse> image;
  for (auto _ : state) {
    state.PauseTiming();
    image.emplace(Image64());
    state.ResumeTiming();
    if (!image->ReblockAll(32, 0xFF)) state.SkipWithError("reblock failed");
    benchmark::DoNotOptimize(image->m_listRecords.size());
    state.PauseTiming();  // freeing the records is not part of the re-blocking
    image.reset();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * benchdata::kImageSize));
}

}  // namespace

BENCHMARK(BM_CalcCrc32)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CalcCrc32_Bytewise)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetRangeCrc)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReblockAll32)->Unit(benchmark::kMillisecond);
