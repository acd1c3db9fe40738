// The identifier lookups after a file load: LoadFile of the benchmark image as S3 text, then the
// software-ID lookup and the calibration-ID read, with the tables near the end of the image; at
// 8 MiB and at 64 MiB (the argument, in MiB).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "authoring/program_ids.h"
#include "bench/support/tables_image.h"
#include "prog/prog_base.h"

namespace {

// The image file of the current size; it goes when another size is asked for or the program ends.
struct TempFile {
  std::string path;
  int64_t mib = 0;
  ~TempFile() {
    if (!path.empty()) std::remove(path.c_str());
  }
} g_imageFile;

// The benchmark image with its tables laid over its last bytes, written as an S3 file.
const std::string& ImagePath(const benchmark::State& state) {
  const int64_t mib = state.range(0);
  if (g_imageFile.mib != mib) {
    if (!g_imageFile.path.empty()) std::remove(g_imageFile.path.c_str());
    const std::string text = benchdata::TablesImageText(size_t(mib) << 20);
    g_imageFile.path = "/tmp/tessary-bench-tables-" + std::to_string(::getpid()) + ".s3";
    std::ofstream(g_imageFile.path, std::ios::binary) << text;
    g_imageFile.mib = mib;
  }
  return g_imageFile.path;
}

// False, with the run marked as failed, when an ID is not found.
bool Lookups(benchmark::State& state, CProgParse& image) {
  ProgramIds ids;
  if (ReadProgramIds(image, ids) != IdLookup::ok || ids.softwareID != benchdata::kBenchSoftwareId ||
      ids.calibrationID != benchdata::kBenchCalibrationId) {
    state.SkipWithError("an ID was not found");
    return false;
  }
  return true;
}

// LoadFile of the image, with or without the two lookups after it.
void LoadFileS3(benchmark::State& state, bool withLookups) {
  const std::string& path = ImagePath(state);
  for (auto _ : state) {
    CProgParse image;
    if (!image.LoadFile(path)) {
      state.SkipWithError("load failed");
      break;
    }
    if (withLookups && !Lookups(state, image)) break;
    benchmark::DoNotOptimize(image.m_listRecords.size());
  }
}

void BM_LoadFileS3(benchmark::State& state) { LoadFileS3(state, false); }
void BM_LoadFileS3ThenIdLookups(benchmark::State& state) { LoadFileS3(state, true); }

// The two lookups alone, each on a freshly loaded image (the load is not timed).
void BM_IdLookupsAfterLoad(benchmark::State& state) {
  const std::string& path = ImagePath(state);
  for (auto _ : state) {
    state.PauseTiming();
    auto* image = new CProgParse;
    const bool loaded = image->LoadFile(path);
    state.ResumeTiming();
    const bool found = loaded && Lookups(state, *image);
    state.PauseTiming();
    delete image;
    state.ResumeTiming();
    if (!loaded) state.SkipWithError("load failed");
    if (!found) break;
  }
}

BENCHMARK(BM_LoadFileS3)->Arg(benchdata::kSmallMiB)->Arg(benchdata::kLargeMiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadFileS3ThenIdLookups)
    ->Arg(benchdata::kSmallMiB)
    ->Arg(benchdata::kLargeMiB)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IdLookupsAfterLoad)->Arg(benchdata::kSmallMiB)->Arg(benchdata::kLargeMiB)->Unit(benchmark::kMillisecond);

}  // namespace
