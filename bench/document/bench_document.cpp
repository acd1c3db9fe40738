// Save and open of an update document with a 100 MB upgrade text and a 20 MB image: the time of
// each, and the memory each needs at its peak beyond what the process held before it (peak_MiB;
// for an open that includes the document it reads). The file goes to TMPDIR (default /tmp); a
// save's time includes flushing it to the disk.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "document/update_document_format.h"

namespace {

constexpr std::size_t kUpgradeText = 100'000'000;
constexpr int32_t kImage = 20'000'000;

struct Input {
  std::string folder;
  std::string path;
  CUpdateDocumentData doc;

  Input() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tessary-bench-document-XXXXXX";
    folder = ::mkdtemp(pattern.data());
    path = folder + "/large.rvq";
    doc.m_strCalibrationID = "CAL-0042";
    doc.m_strSoftwareID = "SW 7.1";
    // Upper-case hex, as the protected form of a programming file is.
    doc.m_strProgramData.resize(kUpgradeText);
    uint32_t x = 12345;
    for (char& c : doc.m_strProgramData) {
      x = x * 1103515245u + 12345u;
      c = "0123456789ABCDEF"[(x >> 16) & 15];
    }
    doc.m_strComments = "Large document for the benchmark";
    for (int i = 0; i < 100; ++i)
      doc.m_targets.push_back(std::make_unique<CTargetObj>("CAL-" + std::to_string(i), "SW"));
    auto image = std::make_unique<uint8_t[]>(static_cast<std::size_t>(kImage));
    for (int32_t i = 0; i < kImage; ++i) image[static_cast<std::size_t>(i)] = static_cast<uint8_t>(i * 31 + (i >> 9));
    doc.SetImage(std::move(image), kImage);
  }
  ~Input() { std::filesystem::remove_all(folder); }
};

Input& In() {
  static Input input;
  return input;
}

// A line of /proc/self/status in KiB ("VmRSS", "VmHWM").
long StatusKiB(const char* key) {
  std::ifstream in("/proc/self/status");
  std::string line;
  const std::size_t n = std::strlen(key);
  while (std::getline(in, line))
    if (line.compare(0, n, key) == 0 && line[n] == ':') return std::stol(line.substr(n + 1));
  return -1;
}

// How far the resident memory rose above where it stood while fn ran, in MiB; 0 where the peak
// cannot be reset.
double PeakRiseMiB(const std::function<void()>& fn) {
  const long before = StatusKiB("VmRSS");
  std::ofstream("/proc/self/clear_refs") << "5";  // resets the peak to the current size
  const bool reset = StatusKiB("VmHWM") <= before + 1024;
  fn();
  return reset ? static_cast<double>(StatusKiB("VmHWM") - before) / 1024.0 : 0.0;
}

void Report(benchmark::State& state, double peak, std::size_t bytes) {
  state.counters["peak_MiB"] = peak;
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
}

void BM_Encode(benchmark::State& state) {
  double peak = 0;
  std::size_t size = 0;
  for (auto _ : state) {
    peak = std::max(peak, PeakRiseMiB([&] {
                      std::string bytes;
                      if (!rvq::Encode(In().doc, bytes)) state.SkipWithError("encode failed");
                      size = bytes.size();
                    }));
  }
  Report(state, peak, size);
}

void BM_SaveFile(benchmark::State& state) {
  double peak = 0;
  for (auto _ : state) {
    peak = std::max(peak, PeakRiseMiB([&] {
                      std::string message;
                      if (!rvq::SaveFile(In().path, In().doc, message)) state.SkipWithError(message.c_str());
                    }));
  }
  Report(state, peak, static_cast<std::size_t>(std::filesystem::file_size(In().path)));
}

void BM_LoadFile(benchmark::State& state) {
  std::string message;
  if (!std::filesystem::exists(In().path) && !rvq::SaveFile(In().path, In().doc, message)) {
    state.SkipWithError(message.c_str());
    return;
  }
  double peak = 0;
  for (auto _ : state) {
    peak = std::max(peak, PeakRiseMiB([&] {
                      CUpdateDocumentData loaded;
                      if (!rvq::LoadFile(In().path, loaded, message)) state.SkipWithError(message.c_str());
                      benchmark::DoNotOptimize(loaded.m_nImageSize);
                    }));
  }
  Report(state, peak, static_cast<std::size_t>(std::filesystem::file_size(In().path)));
}

}  // namespace

BENCHMARK(BM_Encode)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SaveFile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadFile)->Unit(benchmark::kMillisecond)->UseRealTime();
