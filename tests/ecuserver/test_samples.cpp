// The sample programming files resolve through the default controller database, found by the
// lookup rule as a new user's program finds it.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "authoring/program_ids.h"
#include "platform/stream.h"
#include "prog/prog_base.h"
#include "support/test_tdb.h"
#include "support/ui_recorder.h"

namespace {

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class Samples : public ::testing::Test {
 protected:
  // No TESSARY_TDB: the database beside the program (or an installed one) answers.
  ScopedTdbPath noOverride{""};
  UiRecorder ui;
  CProgParse image;
};

TEST_F(Samples, PlainFileLoadsAndResolves) {
  ASSERT_TRUE(image.LoadFile(TESSARY_SAMPLES_DIR "/sample-plain.sr"));
  ProgramIds ids;
  ASSERT_EQ(ReadProgramIds(image, ids), IdLookup::ok);
  EXPECT_EQ(ids.softwareID, "TS100-SW-0A1");
  EXPECT_EQ(ids.calibrationID, "TS100-CAL-0017A1");
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(Samples, ProtectedFileLoadsAndResolves) {
  const std::string text = ReadWhole(TESSARY_SAMPLES_DIR "/sample-protected.srz");
  ASSERT_FALSE(text.empty());
  IStream* stream = nullptr;
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, true, &stream), S_OK);
  ASSERT_EQ(stream->Write(text.data(), static_cast<uint32_t>(text.size()), nullptr), S_OK);
  ASSERT_EQ(stream->Seek(0, STREAM_SEEK_SET, nullptr), S_OK);
  EXPECT_EQ(image.LoadFromStream(stream), S_OK);
  stream->Release();
  EXPECT_EQ(image.m_bLoadedProtected, 1);
  ProgramIds ids;
  ASSERT_EQ(ReadProgramIds(image, ids), IdLookup::ok);
  EXPECT_EQ(ids.softwareID, "TS200-SW-0B2");
  EXPECT_EQ(ids.calibrationID, "TS200-CAL-0017B2");
}

}  // namespace
