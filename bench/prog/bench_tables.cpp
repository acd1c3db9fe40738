// The identifier lookups after a file load: LoadFile of the 8 MiB image as S3 text, then the
// software-ID lookup and the calibration-ID read, with the tables near the end of the image.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "bench/support/tables_image.h"
#include "authoring/program_ids.h"
#include "prog/prog_base.h"

namespace {

// The image file goes when the program ends.
struct TempFile {
  std::string path;
  ~TempFile() {
    if (!path.empty()) std::remove(path.c_str());
  }
} g_imageFile;

// The benchmark image with its tables laid over its last bytes, written once as an S3 file.
const std::string& ImagePath() {
  static const std::string path = [] {
    const std::string text = benchdata::TablesImageText();
    const std::string p = "/tmp/tessary-bench-tables-" + std::to_string(::getpid()) + ".s3";
    std::ofstream(p, std::ios::binary) << text;
    g_imageFile.path = p;
    return p;
  }();
  return path;
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
  const std::string& path = ImagePath();
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
  const std::string& path = ImagePath();
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

BENCHMARK(BM_LoadFileS3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadFileS3ThenIdLookups)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IdLookupsAfterLoad)->Unit(benchmark::kMicrosecond);

}  // namespace
