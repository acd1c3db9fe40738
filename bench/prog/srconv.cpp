// srconv IN OUT: reads S-record or Intel HEX text into an image and writes it back as S-record
// text, as one whole process, for timing against other converters.
// srconv --generate DIR: writes the benchmark's image as DIR/image.s3 and DIR/image.hex.
// With --stats, the load and store times go to standard error.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "bench_data.h"
#include "platform/archive.h"
#include "prog/prog_base.h"

int main(int argc, char** argv) {
  bool stats = false;
  int first = 1;
  if (argc > 1 && std::strcmp(argv[1], "--stats") == 0) {
    stats = true;
    first = 2;
  }
  if (argc - first == 2 && std::strcmp(argv[first], "--generate") == 0) {
    const std::string dir = argv[first + 1];
    const auto image = benchdata::MakeImage();
    std::ofstream(dir + "/image.s3", std::ios::binary) << benchdata::ToS3(image);
    std::ofstream(dir + "/image.hex", std::ios::binary) << benchdata::ToIntelHex(image);
    return 0;
  }
  if (argc - first != 2) {
    std::fprintf(stderr, "usage: srconv [--stats] IN OUT | srconv --generate DIR\n");
    return 2;
  }
  try {
    using Clock = std::chrono::steady_clock;
    CProgParse image;
    CFile in(argv[first], CFile::modeRead);
    const uint64_t inBytes = in.GetLength();
    const auto t0 = Clock::now();
    CArchive load(&in, CArchive::load, PROG_ARCHIVE_BUFFER);
    const int r = image.Serialize(load);
    if (r != PROG_OK) {
      std::fprintf(stderr, "srconv: %s: result %d at line %u\n", argv[first], r, image.m_nLineNumber);
      return 1;
    }
    const auto t1 = Clock::now();
    CFile out(argv[first + 1], CFile::modeCreate | CFile::modeWrite);
    CArchive store(&out, CArchive::store, PROG_ARCHIVE_BUFFER);
    image.Serialize(store);
    store.Close();
    const uint64_t outBytes = out.GetLength();
    out.Close();
    const auto t2 = Clock::now();
    if (stats)
      std::fprintf(stderr, "load_ns %lld %llu store_ns %lld %llu\n",
                   static_cast<long long>(std::chrono::duration_cast<std::chrono::nanoseconds>(t1 - t0).count()),
                   static_cast<unsigned long long>(inBytes),
                   static_cast<long long>(std::chrono::duration_cast<std::chrono::nanoseconds>(t2 - t1).count()),
                   static_cast<unsigned long long>(outBytes));
  } catch (const CException& e) {
    std::fprintf(stderr, "srconv: %s\n", e.GetErrorMessage().c_str());
    return 1;
  }
  return 0;
}
