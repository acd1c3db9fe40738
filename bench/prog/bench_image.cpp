// Load and store of the benchmark image as S3 and Intel HEX text, in process, at 8 MiB and at
// 64 MiB (the first argument, in MiB); and the heap a loaded image holds, for S3 lines of 16, 32
// and 64 data bytes.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <tuple>

#include "bench_data.h"
#include "platform/archive.h"
#include "prog/prog_base.h"

namespace {

enum class Format { s3, intelHex };

// The text of the image of mib MiB; one text is kept at a time.
const std::string& Text(Format format, int64_t mib, size_t perLine = 0) {
  static std::tuple<Format, int64_t, size_t> key{Format::s3, 0, 0};
  static std::string text;
  if (key != std::make_tuple(format, mib, perLine) || text.empty()) {
    text.clear();
    text.shrink_to_fit();
    const std::vector<uint8_t> image = benchdata::MakeImage(size_t(mib) << 20);
    if (format == Format::s3)
      text = benchdata::ToS3(image, perLine != 0 ? perLine : 64);
    else
      text = benchdata::ToIntelHex(image, perLine != 0 ? perLine : 32);
    key = {format, mib, perLine};
  }
  return text;
}

const std::string& S3Text(const benchmark::State& state) { return Text(Format::s3, state.range(0)); }
const std::string& HexText(const benchmark::State& state) { return Text(Format::intelHex, state.range(0)); }

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

void BM_LoadS3_MemFile(benchmark::State& state) { LoadMemory(state, S3Text(state)); }
void BM_LoadIntelHex_MemFile(benchmark::State& state) { LoadMemory(state, HexText(state)); }

void BM_LoadS3_File(benchmark::State& state) {
  const std::string path = "/tmp/tessary-bench-image-" + std::to_string(::getpid()) + ".s3";
  const std::string& text = S3Text(state);
  std::ofstream(path, std::ios::binary) << text;
  for (auto _ : state) {
    CProgParse image;
    CFile file;
    if (!file.Open(path, CFile::modeRead)) state.SkipWithError("open failed");
    CArchive ar(&file, CArchive::load, PROG_ARCHIVE_BUFFER);
    if (image.Serialize(ar) != PROG_OK) state.SkipWithError("load failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
  std::remove(path.c_str());
}

void BM_StoreS3_Memory(benchmark::State& state) {
  CProgParse image;
  LoadFromMemory(image, S3Text(state));
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

// Heap bytes that a loaded image holds for each data byte (the heap's bytes in use, mallinfo2),
// for the second argument's count of data bytes a line: a record costs the same whatever its
// length.
void BM_MemoryPerDataByte(benchmark::State& state) {
  const std::string& text = Text(Format::s3, state.range(0), static_cast<size_t>(state.range(1)));
  double perByte = 0;
  for (auto _ : state) {
    malloc_trim(0);
    const size_t before = mallinfo2().uordblks;
    auto* image = new CProgParse;
    LoadFromMemory(*image, text);
    const size_t after = mallinfo2().uordblks;
    perByte = double(after - before) / image->GetDataByteCount();
    delete image;
  }
  state.counters["heap_bytes_per_data_byte"] = perByte;
}

void Sizes(benchmark::internal::Benchmark* b) {
  b->Arg(benchdata::kSmallMiB)->Arg(benchdata::kLargeMiB)->Unit(benchmark::kMillisecond);
}

}  // namespace

BENCHMARK(BM_LoadS3_MemFile)->Apply(Sizes);
BENCHMARK(BM_LoadS3_File)->Apply(Sizes);
BENCHMARK(BM_LoadIntelHex_MemFile)->Apply(Sizes);
BENCHMARK(BM_StoreS3_Memory)->Apply(Sizes);
BENCHMARK(BM_MemoryPerDataByte)
    ->Args({benchdata::kSmallMiB, 16})
    ->Args({benchdata::kSmallMiB, 32})
    ->Args({benchdata::kSmallMiB, 64})
    ->Args({benchdata::kLargeMiB, 64})
    ->Iterations(3);
