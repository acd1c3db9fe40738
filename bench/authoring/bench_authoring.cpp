// The form's loads on the 8 MiB image: "Browse" for the upgrade and a target's Add, each for the
// plain S3 text and its protected form, beside their bare stages on the same input (read, decode,
// encode, parse, lookups), and 1,000 small targets added one by one.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <list>
#include <memory>
#include <string>

#include "authoring/program_ids.h"
#include "authoring/program_load.h"
#include "bench/support/tables_image.h"
#include "document/update_document_data.h"
#include "platform/file.h"
#include "prog/prog_base.h"
#include "protect/codec.h"

namespace {

struct Input {
  std::string folder;
  std::string plainPath, protectedPath;
  std::string plain, sealed;

  Input() {
    char tmpl[] = "/tmp/tessary-bench-authoring-XXXXXX";
    folder = ::mkdtemp(tmpl);
    plain = benchdata::TablesImageText();
    uint8_t* out = nullptr;
    uint32_t length = 0;
    if (EncodeProtectedBuffer(0, plain.data(), static_cast<uint32_t>(plain.size()), &out, &length) >= 0) {
      sealed.assign(reinterpret_cast<const char*>(out), length);
      FreeBuffer(out);
    }
    plainPath = folder + "/image.sr";
    protectedPath = folder + "/image.srz";
    std::ofstream(plainPath, std::ios::binary) << plain;
    std::ofstream(protectedPath, std::ios::binary) << sealed;
  }
  ~Input() { std::filesystem::remove_all(folder); }
};

const Input& In() {
  static const Input input;
  return input;
}

void Check(benchmark::State& state, bool ok, const char* what) {
  if (!ok) state.SkipWithError(what);
}

// ---- the bare stages

void BM_ReadFile(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(ReadWholeFile(In().plainPath, CFile::modeRead).size());
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(In().plain.size()));
}

void BM_Encode(benchmark::State& state) {
  std::string text = In().plain;
  for (auto _ : state) {
    uint8_t* out = nullptr;
    uint32_t length = 0;
    Check(state, EncodeProtectedBuffer(0, text.data(), static_cast<uint32_t>(text.size()), &out, &length) >= 0, "encode");
    FreeBuffer(out);
  }
}

void BM_Decode(benchmark::State& state) {
  std::string text = In().sealed;
  for (auto _ : state) {
    uint8_t* out = nullptr;
    uint32_t length = 0;
    Check(state, DecodeProtectedBuffer(0, text.data(), static_cast<uint32_t>(text.size()), &out, &length) >= 0, "decode");
    FreeBuffer(out);
  }
}

void BM_Parse(benchmark::State& state) {
  std::string text = In().plain;
  for (auto _ : state) {
    CProgParse image;
    ParseProgramText(image, reinterpret_cast<uint8_t*>(text.data()), static_cast<uint32_t>(text.size()));
    benchmark::DoNotOptimize(image.m_listRecords.size());
  }
}

void BM_LoadFile(benchmark::State& state) {
  for (auto _ : state) {
    CProgParse image;
    Check(state, image.LoadFile(In().plainPath), "load");
  }
}

// Both ID lookups on a freshly parsed image (the parse is not timed).
void BM_Lookups(benchmark::State& state) {
  std::string text = In().plain;
  for (auto _ : state) {
    state.PauseTiming();
    auto image = std::make_unique<CProgParse>();
    ParseProgramText(*image, reinterpret_cast<uint8_t*>(text.data()), static_cast<uint32_t>(text.size()));
    state.ResumeTiming();
    ProgramIds ids;
    Check(state, ReadProgramIds(*image, ids) == IdLookup::ok, "lookups");
    state.PauseTiming();
    image.reset();
    state.ResumeTiming();
  }
}

// ---- the commands' loads

void BM_BrowsePlain(benchmark::State& state) {
  for (auto _ : state) {
    UpgradeProgram p;
    Check(state, LoadUpgradeProgram(In().plainPath, p), "browse");
  }
}

void BM_BrowseProtected(benchmark::State& state) {
  for (auto _ : state) {
    UpgradeProgram p;
    Check(state, LoadUpgradeProgram(In().protectedPath, p), "browse");
  }
}

void BM_AddTargetPlain(benchmark::State& state) {
  const std::list<std::unique_ptr<CTargetObj>> none;
  for (auto _ : state) Check(state, LoadTargetFromFile(In().plainPath, none) != nullptr, "add");
}

void BM_AddTargetProtected(benchmark::State& state) {
  const std::list<std::unique_ptr<CTargetObj>> none;
  for (auto _ : state) Check(state, LoadTargetFromFile(In().protectedPath, none) != nullptr, "add");
}

// 1,000 small programming files, each with a calibration ID of its own, added one by one: every
// add walks the targets before it.
void BM_Add1000Targets(benchmark::State& state) {
  static const std::vector<std::string> paths = [] {
    std::vector<std::string> p;
    for (int i = 0; i < 1000; ++i) {
      testimg::ImageBuilder b;
      b.SetIdentity(6, 9, "SW-" + std::to_string(i), "CAL-" + std::to_string(i), benchdata::DefaultRows());
      p.push_back(In().folder + "/t" + std::to_string(i) + ".sr");
      std::ofstream(p.back(), std::ios::binary) << b.Text();
    }
    return p;
  }();
  for (auto _ : state) {
    std::list<std::unique_ptr<CTargetObj>> targets;
    for (const std::string& path : paths)
      if (auto t = LoadTargetFromFile(path, targets)) targets.push_back(std::move(t));
    Check(state, targets.size() == paths.size(), "a target was refused");
  }
}

BENCHMARK(BM_ReadFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Encode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Parse)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lookups)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BrowsePlain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BrowseProtected)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AddTargetPlain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AddTargetProtected)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Add1000Targets)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  In();  // the input is made before any timing starts
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
