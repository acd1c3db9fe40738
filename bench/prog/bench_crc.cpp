// CRC-32 over the whole benchmark image and re-blocking it into 32-byte records, at 8 MiB and at
// 64 MiB (the argument, in MiB).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "bench_data.h"
#include "prog/crc.h"
#include "prog/prog_base.h"

namespace {

size_t ImageSize(const benchmark::State& state) { return size_t(state.range(0)) << 20; }

// The benchmark image as 64-byte records, the way the text reader leaves it; one size is kept.
const CProgParse& Image64(size_t size) {
  static size_t madeFor = 0;
  static CProgParse image;
  if (madeFor != size) {
    const std::vector<uint8_t> bytes = benchdata::MakeImage(size);
    image.m_listRecords.clear();
    for (size_t off = 0; off < bytes.size(); off += PROG_MAX_RECORD_DATA) {
      CProgRecord& r = image.m_listRecords.emplace_back();
      r.m_dwAddress = benchdata::kImageBase + static_cast<uint32_t>(off);
      r.m_nLength = static_cast<uint8_t>(std::min<size_t>(PROG_MAX_RECORD_DATA, bytes.size() - off));
      std::memcpy(r.m_data, bytes.data() + off, r.m_nLength);
      r.m_nRecordType = 3;
    }
    madeFor = size;
  }
  return image;
}

void BM_CalcCrc32(benchmark::State& state) {
  const std::vector<uint8_t> bytes = benchdata::MakeImage(ImageSize(state));
  for (auto _ : state) benchmark::DoNotOptimize(CalcCrc32(bytes.data(), static_cast<uint32_t>(bytes.size())));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

// The one-table loop, for comparison with the eight-table one above.
void BM_CalcCrc32_Bytewise(benchmark::State& state) {
  const std::vector<uint8_t> bytes = benchdata::MakeImage(ImageSize(state));
  for (auto _ : state) {
    uint32_t crc = 0xFFFFFFFF;
    for (const uint8_t b : bytes) crc = (crc >> 8) ^ g_Crc32Table[(crc ^ b) & 0xFF];
    benchmark::DoNotOptimize(crc ^ 0xFFFFFFFF);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

void BM_GetRangeCrc(benchmark::State& state) {
  const size_t size = ImageSize(state);
  const CProgParse& image = Image64(size);
  for (auto _ : state) benchmark::DoNotOptimize(image.GetRangeCrc(benchdata::kImageBase, static_cast<uint32_t>(size)));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}

void BM_ReblockAll32(benchmark::State& state) {
  std::optional<CProgParse> image;
  for (auto _ : state) {
    state.PauseTiming();
    image.emplace(Image64(ImageSize(state)));
    state.ResumeTiming();
    if (!image->ReblockAll(32, 0xFF)) state.SkipWithError("reblock failed");
    benchmark::DoNotOptimize(image->m_listRecords.size());
    state.PauseTiming();  // freeing the records is not part of the re-blocking
    image.reset();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * ImageSize(state)));
}

}  // namespace

BENCHMARK(BM_CalcCrc32)->Arg(benchdata::kSmallMiB)->Arg(benchdata::kLargeMiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CalcCrc32_Bytewise)->Arg(benchdata::kSmallMiB)->Arg(benchdata::kLargeMiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetRangeCrc)->Arg(benchdata::kSmallMiB)->Arg(benchdata::kLargeMiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReblockAll32)->Arg(benchdata::kSmallMiB)->Arg(benchdata::kLargeMiB)->Unit(benchmark::kMillisecond);
