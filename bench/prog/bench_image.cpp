// Load and store of an 8 MiB image as S3 and Intel HEX text, in process.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "bench_data.h"
#include "platform/archive.h"
#include "prog/prog_base.h"

namespace {

const std::string& S3Text() {
  static const std::string text = benchdata::ToS3(benchdata::MakeImage());
  return text;
}

const std::string& HexText() {
  static const std::string text = benchdata::ToIntelHex(benchdata::MakeImage());
  return text;
}

int LoadFromMemory(CProgParse& image, const std::string& text) {
  CMemFile file(reinterpret_cast<uint8_t*>(const_cast<char*>(text.data())), static_cast<uint32_t>(text.size()));
  CArchive ar(&file, CArchive::load, PROG_ARCHIVE_BUFFER);
  const int r = image.Serialize(ar);
  file.Detach();
  return r;
}

void LoadMemory(benchmark::State& state, const std::string& text) {
  for (auto _ : state) {
    CProgParse image;
    if (LoadFromMemory(image, text) != PROG_OK) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(image.m_listRecords.size());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_LoadS3_MemFile(benchmark::State& state) { LoadMemory(state, S3Text()); }
void BM_LoadIntelHex_MemFile(benchmark::State& state) { LoadMemory(state, HexText()); }

void BM_LoadS3_File(benchmark::State& state) {
  const std::string path = "/tmp/tessary-bench-image.s3";
  std::ofstream(path, std::ios::binary) << S3Text();
  for (auto _ : state) {
    CProgParse image;
    CFile file;
    if (!file.Open(path, CFile::modeRead)) state.SkipWithError("open failed");
    CArchive ar(&file, CArchive::load, PROG_ARCHIVE_BUFFER);
    if (image.Serialize(ar) != PROG_OK) state.SkipWithError("load failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * S3Text().size()));
  std::remove(path.c_str());
}

void BM_StoreS3_Memory(benchmark::State& state) {
  CProgParse image;
  LoadFromMemory(image, S3Text());
  image.m_nMachineWordSize = 4;
  size_t written = 0;
  for (auto _ : state) {
    CMemFile file(1024);
    {
      CArchive ar(&file, CArchive::store, PROG_ARCHIVE_BUFFER);
      image.Serialize(ar);
      ar.Close();
    }
    written = static_cast<size_t>(file.GetLength());
    std::free(file.Detach());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * written));
}

// Heap bytes that a loaded image holds for each data byte.
void BM_MemoryPerDataByte(benchmark::State& state) {
  double perByte = 0;
  for (auto _ : state) {
    malloc_trim(0);
    const size_t before = mallinfo2().uordblks;
    auto* image = new CProgParse;
    LoadFromMemory(*image, S3Text());
    const size_t after = mallinfo2().uordblks;
    perByte = double(after - before) / image->GetDataByteCount();
    delete image;
  }
  state.counters["heap_bytes_per_data_byte"] = perByte;
}

}  // namespace

BENCHMARK(BM_LoadS3_MemFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadS3_File)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadIntelHex_MemFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StoreS3_Memory)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemoryPerDataByte)->Iterations(3);
