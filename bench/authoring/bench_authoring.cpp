// The form's loads on the benchmark image at 8 MiB and at 64 MiB (the argument, in MiB): "Browse"
// for the upgrade and a target's Add, each for the plain S3 text and its protected form, beside
// their bare stages on the same input (read, decode, encode, parse, lookups), and 1,000 small
// targets added one by one. The loads also give the memory they need at their peak (peak_MiB,
// from one more run after the timed ones; see bench/support/peak_memory.h).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <list>
#include <memory>
#include <string>

#include "authoring/program_ids.h"
#include "authoring/program_load.h"
#include "bench/support/peak_memory.h"
#include "bench/support/tables_image.h"
#include "document/update_document_data.h"
#include "platform/file.h"
#include "prog/prog_base.h"
#include "protect/codec.h"

namespace {

// The image's texts in memory and as files, made before any timing starts.
struct Input {
  std::string folder;
  std::string plainPath, protectedPath;
  std::string plain, sealed;
  int mib;

  explicit Input(int size) : mib(size) {
    char tmpl[] = "/tmp/tessary-bench-authoring-XXXXXX";
    folder = ::mkdtemp(tmpl);
    plain = benchdata::TablesImageText(size_t(mib) << 20);
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

// The input of the run's size; one size is kept at a time.
const Input& In(int mib) {
  static std::unique_ptr<Input> input;
  if (!input || input->mib != mib) {
    input.reset();
    input = std::make_unique<Input>(mib);
  }
  return *input;
}

const Input& In(const benchmark::State& state) { return In(static_cast<int>(state.range(0))); }

void Check(benchmark::State& state, bool ok, const char* what) {
  if (!ok) state.SkipWithError(what);
}

// Times op in the loop, then measures its peak memory in one more run.
void TimeAndPeak(benchmark::State& state, const std::function<bool()>& op, const char* what) {
  for (auto _ : state) Check(state, op(), what);
  state.counters["peak_MiB"] = benchmem::PeakRiseMiB([&] { op(); });
}

// ---- the bare stages

void BM_ReadFile(benchmark::State& state) {
  const Input& in = In(state);
  for (auto _ : state) benchmark::DoNotOptimize(ReadWholeFile(in.plainPath).size());
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(in.plain.size()));
}

void BM_Encode(benchmark::State& state) {
  std::string text = In(state).plain;
  for (auto _ : state) {
    uint8_t* out = nullptr;
    uint32_t length = 0;
    Check(state, EncodeProtectedBuffer(0, text.data(), static_cast<uint32_t>(text.size()), &out, &length) >= 0,
          "encode");
    FreeBuffer(out);
  }
}

void BM_Decode(benchmark::State& state) {
  std::string text = In(state).sealed;
  for (auto _ : state) {
    uint8_t* out = nullptr;
    uint32_t length = 0;
    Check(state, DecodeProtectedBuffer(0, text.data(), static_cast<uint32_t>(text.size()), &out, &length) >= 0,
          "decode");
    FreeBuffer(out);
  }
}

void BM_Parse(benchmark::State& state) {
  std::string text = In(state).plain;
  for (auto _ : state) {
    CProgParse image;
    ParseProgramText(image, reinterpret_cast<uint8_t*>(text.data()), static_cast<uint32_t>(text.size()));
    benchmark::DoNotOptimize(image.m_listRecords.size());
  }
}

// Both ID lookups on a freshly parsed image (the parse is not timed).
void BM_Lookups(benchmark::State& state) {
  std::string text = In(state).plain;
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

void BM_LoadFile(benchmark::State& state) {
  const Input& in = In(state);
  for (auto _ : state) {
    CProgParse image;
    Check(state, image.LoadFile(in.plainPath), "load");
  }
}

// ---- the commands' loads

void Browse(benchmark::State& state, const std::string& path) {
  TimeAndPeak(
      state,
      [&] {
        UpgradeProgram p;
        return LoadUpgradeProgram(path, p);
      },
      "browse");
}

void BM_BrowsePlain(benchmark::State& state) { Browse(state, In(state).plainPath); }
void BM_BrowseProtected(benchmark::State& state) { Browse(state, In(state).protectedPath); }

void AddTarget(benchmark::State& state, const std::string& path) {
  const std::list<std::unique_ptr<CTargetObj>> none;
  TimeAndPeak(
      state, [&] { return LoadTargetFromFile(path, none) != nullptr; }, "add");
}

void BM_AddTargetPlain(benchmark::State& state) { AddTarget(state, In(state).plainPath); }
void BM_AddTargetProtected(benchmark::State& state) { AddTarget(state, In(state).protectedPath); }

// 1,000 small programming files, each with a calibration ID of its own, added one by one: every
// add walks the targets before it.
void BM_Add1000Targets(benchmark::State& state) {
  static const std::vector<std::string> paths = [] {
    std::vector<std::string> p;
    char tmpl[] = "/tmp/tessary-bench-targets-XXXXXX";
    static const std::string folder = ::mkdtemp(tmpl);
    static const struct Remove {
      ~Remove() { std::filesystem::remove_all(folder); }
    } remove;
    for (int i = 0; i < 1000; ++i) {
      testimg::ImageBuilder b;
      b.SetIdentity(6, 9, "SW-" + std::to_string(i), "CAL-" + std::to_string(i), benchdata::DefaultRows());
      p.push_back(folder + "/t" + std::to_string(i) + ".sr");
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

}  // namespace

int main(int argc, char** argv) {
  // Size by size, so that each input is made once.
  const std::pair<const char*, void (*)(benchmark::State&)> bySize[] = {
      {"BM_ReadFile", BM_ReadFile},
      {"BM_Encode", BM_Encode},
      {"BM_Decode", BM_Decode},
      {"BM_Parse", BM_Parse},
      {"BM_LoadFile", BM_LoadFile},
      {"BM_Lookups", BM_Lookups},
      {"BM_BrowsePlain", BM_BrowsePlain},
      {"BM_BrowseProtected", BM_BrowseProtected},
      {"BM_AddTargetPlain", BM_AddTargetPlain},
      {"BM_AddTargetProtected", BM_AddTargetProtected},
  };
  for (int mib : {benchdata::kSmallMiB, benchdata::kLargeMiB})
    for (const auto& [name, fn] : bySize)
      benchmark::RegisterBenchmark(name, fn)->Arg(mib)->Unit(benchmark::kMillisecond)->UseRealTime();
  benchmark::RegisterBenchmark("BM_Add1000Targets", BM_Add1000Targets)->Unit(benchmark::kMillisecond)->UseRealTime();

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
