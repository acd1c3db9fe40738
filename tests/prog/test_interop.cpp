// Files that no one here wrote: binaries turned into S-record and Intel HEX text by GNU objcopy
// and srec_cat, read back and compared byte by byte with the binary.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "platform/archive.h"
#include "prog/prog_base.h"

namespace fs = std::filesystem;

namespace {

class Interop : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tessary-interop-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    m_dir = tmpl;
  }
  void TearDown() override { fs::remove_all(m_dir); }

  std::vector<uint8_t> WriteBinary(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> data(size);
    for (auto& b : data) b = static_cast<uint8_t>(rng());
    std::ofstream(m_dir / "in.bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(size));
    return data;
  }

  void Run(const std::string& command) {
    const std::string cmd = "cd '" + m_dir.string() + "' && " + command + " 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
  }

  // Loads out.txt through an archive over the file, as the application does.
  int Load(CProgParse& image) {
    CFile file;
    CFileException e;
    EXPECT_TRUE(file.Open((m_dir / "out.txt").string(), CFile::modeRead, &e)) << e.GetErrorMessage();
    CArchive ar(&file, CArchive::load, PROG_ARCHIVE_BUFFER);
    return image.Serialize(ar);
  }

  static void ExpectSameBytes(CProgParse& image, const std::vector<uint8_t>& data, uint32_t base,
                              const std::string& what) {
    EXPECT_EQ(image.GetDataByteCount(), data.size()) << what;
    std::vector<uint8_t> got(data.size());
    for (size_t off = 0; off < data.size(); off += 255) {
      const auto n = static_cast<uint8_t>(std::min<size_t>(255, data.size() - off));
      ASSERT_TRUE(image.GetBytes(base + static_cast<uint32_t>(off), got.data() + off, n)) << what << " at " << off;
    }
    EXPECT_TRUE(got == data) << what;
  }

  fs::path m_dir;
};

TEST_F(Interop, ObjcopyS3AtSeveralRecordLengths) {
  uint32_t seed = 1;
  for (int len : {16, 32, 64, 7}) {
    const auto data = WriteBinary(5000 + static_cast<size_t>(len) * 13, seed++);
    Run("objcopy -I binary -O srec --srec-forceS3 --srec-len=" + std::to_string(len) +
        " --change-addresses=0x80001000 in.bin out.txt");
    CProgParse image;
    ASSERT_EQ(Load(image), PROG_OK) << "srec-len " << len << ", line " << image.m_nLineNumber;
    EXPECT_EQ(image.m_nTermination, 7);
    ExpectSameBytes(image, data, 0x80001000, "objcopy --srec-len=" + std::to_string(len));
  }
}

TEST_F(Interop, SrecCatFormatsAndBlockSizes) {
  struct Case {
    const char* name;
    uint32_t offset;
    size_t size;
    const char* format;
  } cases[] = {
      {"S19", 0x0100, 20000, "-Motorola -address-length=2"},
      {"S28", 0x0FFF0, 70000, "-Motorola -address-length=3 -disable=exec-start-address"},
      {"S37", 0x7FFF0000, 70000, "-Motorola -address-length=4"},
      {"IntelHexAcross64K", 0x3FFF0, 140000, "-Intel"},
  };
  uint32_t seed = 100;
  for (const Case& c : cases) {
    for (int obs : {16, 32}) {
      const auto data = WriteBinary(c.size, seed++);
      Run("srec_cat in.bin -binary -offset " + std::to_string(c.offset) + " -o out.txt " + c.format +
          " -obs=" + std::to_string(obs));
      CProgParse image;
      ASSERT_EQ(Load(image), PROG_OK) << c.name << " obs " << obs << ", line " << image.m_nLineNumber;
      ExpectSameBytes(image, data, c.offset, std::string(c.name) + " obs " + std::to_string(obs));
    }
  }
}

}  // namespace
