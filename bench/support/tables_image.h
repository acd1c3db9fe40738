// The benchmarks' image (8 MiB unless another size is asked for) with parameter tables laid over
// its last 4 KiB, whose IDs resolve through the default controller database for the default ids
// 6 and 9.
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

#include "bench/prog/bench_data.h"
#include "ecuserver/ecu_server.h"
#include "tests/support/image_builder.h"

namespace benchdata {

inline constexpr uint32_t TableAddress(size_t imageSize) {
  return kImageBase + static_cast<uint32_t>(imageSize) - 0x1000;
}
inline const char kBenchSoftwareId[] = "BENCH-SW-000001";
inline const char kBenchCalibrationId[] = "BENCH-CAL-000001";

// Makes the built default database the one in use.
inline void UseDefaultDatabase() { ::setenv(kTdbEnvVar, TESSARY_DEFAULT_TDB_BUILT, 1); }

// Where the default database puts the two texts for the default ids.
inline std::vector<testimg::TdbRow> DefaultRows() {
  UseDefaultDatabase();
  std::vector<testimg::TdbRow> rows;
  CECUServer server;
  server.OpenDefaultTDBOffline(6, 9);
  for (const char* name : {"SwIdTxt", "CalIdTxt"}) {
    ParameterInfo info;
    if (server.GetParameterInfo(name, &info))
      rows.push_back({6, 9, name, info.nTable, info.nItem, info.SizeFactor1(), info.SizeFactor2()});
  }
  return rows;
}

// The S3 text (header block first) of the image; the default database is made the one in use.
inline std::string TablesImageText(size_t imageSize = kImageSize) {
  UseDefaultDatabase();
  testimg::Layout layout;
  layout.project = "BENCH";
  layout.tableAddress = TableAddress(imageSize);
  testimg::ImageBuilder tables(layout);
  tables.SetIdentity(6, 9, kBenchSoftwareId, kBenchCalibrationId, DefaultRows());
  std::vector<uint8_t> image = MakeImage(imageSize);
  for (const auto& [address, byte] : tables.Bytes()) image.at(address - kImageBase) = byte;
  return tables.HeaderText() + ToS3(image);
}

}  // namespace benchdata
