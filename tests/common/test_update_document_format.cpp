#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "common/update_document_format.h"
#include "platform/string_table.h"
#include "support/update_documents.h"

namespace fs = std::filesystem;

namespace {

std::string AllBytes() {
  std::string s;
  for (int i = 0; i < 256; ++i) s += static_cast<char>(i);
  return s;
}

CUpdateDocumentData Sample() { return SampleUpdateDocument(); }

void ExpectSame(const CUpdateDocumentData& a, const CUpdateDocumentData& b) {
  EXPECT_EQ(a.m_strCalibrationID, b.m_strCalibrationID);
  EXPECT_EQ(a.m_strSoftwareID, b.m_strSoftwareID);
  EXPECT_EQ(a.m_dwSize, b.m_dwSize);
  EXPECT_EQ(a.m_strProgramData, b.m_strProgramData);
  EXPECT_EQ(a.m_strComments, b.m_strComments);
  ASSERT_EQ(a.m_targets.size(), b.m_targets.size());
  for (auto i = a.m_targets.begin(), j = b.m_targets.begin(); i != a.m_targets.end(); ++i, ++j) {
    EXPECT_EQ((*i)->m_strCalibrationID, (*j)->m_strCalibrationID);
    EXPECT_EQ((*i)->m_strSoftwareID, (*j)->m_strSoftwareID);
  }
  ASSERT_EQ(a.m_nImageSize, b.m_nImageSize);
  EXPECT_EQ(a.m_pImageData == nullptr, b.m_pImageData == nullptr);
  if (a.m_nImageSize > 0) {
    EXPECT_EQ(0, std::memcmp(a.m_pImageData.get(), b.m_pImageData.get(), static_cast<size_t>(a.m_nImageSize)));
  }
  EXPECT_EQ(a.m_bClearRuntime, b.m_bClearRuntime);
  EXPECT_EQ(a.m_bClearFaultHistory, b.m_bClearFaultHistory);
  EXPECT_EQ(a.m_bResetBreakin, b.m_bResetBreakin);
}

std::string Encoded(const CUpdateDocumentData& d) {
  std::string bytes;
  EXPECT_TRUE(rvq::Encode(d, bytes));
  return bytes;
}

// Puts a matching CRC-32 at the end of b.
void WithCrc(std::string& b) {
  const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(b.data()), static_cast<uInt>(b.size() - 4));
  for (int i = 0; i < 4; ++i) b[b.size() - 4 + static_cast<size_t>(i)] = static_cast<char>((crc >> (8 * i)) & 0xFF);
}

rvq::DecodeResult DecodeInto(const std::string& bytes, CUpdateDocumentData& out) {
  return rvq::Decode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), out);
}

class TempDir : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/rvq_test_XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(tmpl));
    m_dir = tmpl;
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(m_dir, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(m_dir, ec);
  }
  std::string Path(const std::string& name) const { return (m_dir / name).string(); }
  static void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  static std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  fs::path m_dir;
};

}  // namespace

TEST(UpdateDocumentFormat, RoundTripsEveryMember) {
  struct Case {
    const char* name;
    CUpdateDocumentData (*make)();
  } cases[] = {
      {"empty", [] { return CUpdateDocumentData(); }},
      {"sample", Sample},
      {"every byte value in every text",
       [] {
         CUpdateDocumentData d = Sample();
         d.m_strCalibrationID = d.m_strSoftwareID = d.m_strProgramData = d.m_strComments = AllBytes();
         d.m_targets.push_back(std::make_unique<CTargetObj>(AllBytes(), AllBytes()));
         return d;
       }},
      {"many targets and a large image",
       [] {
         CUpdateDocumentData d;
         for (int i = 0; i < 5000; ++i) d.m_targets.push_back(std::make_unique<CTargetObj>("CAL" + std::to_string(i), ""));
         const int32_t n = 3 << 20;
         auto image = std::make_unique<uint8_t[]>(static_cast<size_t>(n));
         for (int32_t i = 0; i < n; ++i) image[static_cast<size_t>(i)] = static_cast<uint8_t>(i * 7);
         d.SetImage(std::move(image), n);
         d.m_bClearFaultHistory = true;
         return d;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CUpdateDocumentData original = c.make();
    CUpdateDocumentData loaded;
    ASSERT_EQ(rvq::DecodeResult::ok, DecodeInto(Encoded(original), loaded));
    ExpectSame(original, loaded);
  }
}

TEST(UpdateDocumentFormat, LayoutIsLittleEndianWithMagicVersionAndCrc) {
  CUpdateDocumentData d;
  d.m_strCalibrationID = "AB";
  d.m_dwSize = 0x01020304;
  const std::string b = Encoded(d);
  ASSERT_EQ(b.size(), 8u + 4 + (4 + 2) + 4 + 4 + 4 + 4 + 4 + 4 + 3 + 4);
  EXPECT_EQ(0, std::memcmp(b.data(), rvq::kMagic, 8));
  EXPECT_EQ(std::string("\x01\0\0\0", 4), b.substr(8, 4));
  EXPECT_EQ(std::string("\x02\0\0\0" "AB", 6), b.substr(12, 6));
  EXPECT_EQ(std::string("\x04\x03\x02\x01", 4), b.substr(22, 4));
}

TEST(UpdateDocumentFormat, RefusesDamagedFilesAndKeepsTheDocument) {
  const std::string good = Encoded(Sample());
  std::vector<std::pair<std::string, std::string>> damaged;  // what, bytes
  for (size_t n = 0; n < good.size(); ++n) damaged.push_back({"truncated to " + std::to_string(n), good.substr(0, n)});
  for (size_t at : {size_t{9}, size_t{14}, good.size() / 2, good.size() - 5, good.size() - 1}) {
    std::string b = good;
    b[at] = static_cast<char>(b[at] ^ 0x20);
    damaged.push_back({"byte changed at " + std::to_string(at), b});
  }
  damaged.push_back({"trailing byte", good + "x"});
  std::string foreign = good;
  foreign[1] = 'X';
  damaged.push_back({"foreign magic", foreign});
  damaged.push_back({"text file", "S00600004844521B\r\nS9030000FC\r\n"});

  // Lengths larger than the file, with a CRC that matches, so only the length checks stand.
  for (uint32_t len : {0x7FFFFFFFu, 0xFFFFFFFFu, 1000u}) {
    CUpdateDocumentData d;
    d.m_strCalibrationID = "X";
    std::string b = Encoded(d);
    b[12] = static_cast<char>(len & 0xFF);
    b[13] = static_cast<char>((len >> 8) & 0xFF);
    b[14] = static_cast<char>((len >> 16) & 0xFF);
    b[15] = static_cast<char>(len >> 24);
    WithCrc(b);
    damaged.push_back({"length " + std::to_string(len), b});
  }

  {
    std::string b = Encoded(Sample());
    b[b.size() - 5] = 2;  // the last flag
    WithCrc(b);
    damaged.push_back({"flag value 2", b});
  }

  for (const auto& [what, bytes] : damaged) {
    SCOPED_TRACE(what);
    CUpdateDocumentData doc = Sample();
    EXPECT_NE(rvq::DecodeResult::ok, DecodeInto(bytes, doc));
    ExpectSame(Sample(), doc);
  }
}

TEST(UpdateDocumentFormat, NewerVersionIsNamedAsSuch) {
  std::string b = Encoded(Sample());
  b[8] = 2;
  CUpdateDocumentData d;
  uint32_t version = 0;
  EXPECT_EQ(rvq::DecodeResult::newerVersion, rvq::Decode(reinterpret_cast<const uint8_t*>(b.data()), b.size(), d, &version));
  EXPECT_EQ(2u, version);
}

using UpdateDocumentFile = TempDir;

TEST_F(UpdateDocumentFile, SavesAndLoadsThroughTheDisk) {
  const std::string path = Path("doc.rvq");
  std::string message;
  ASSERT_TRUE(rvq::SaveFile(path, Sample(), message)) << message;
  CUpdateDocumentData loaded;
  ASSERT_TRUE(rvq::LoadFile(path, loaded, message)) << message;
  ExpectSame(Sample(), loaded);
  EXPECT_EQ(Encoded(Sample()), ReadBytes(path));
  // Nothing is left beside it.
  EXPECT_EQ(1, std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()));
}

TEST_F(UpdateDocumentFile, RefusalMessagesNameTheFile) {
  const std::string good = Encoded(Sample());
  struct Case {
    const char* name;
    std::string bytes;
    unsigned messageId;
  } cases[] = {
      {"foreign.rvq", "GIF89a not an update document", 2001},
      {"truncated.rvq", good.substr(0, good.size() - 3), 2003},
      {"newer.rvq", std::string(reinterpret_cast<const char*>(rvq::kMagic), 8) + std::string("\x07\0\0\0", 4), 2002},
      {"empty.rvq", "", 2001},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = Path(c.name);
    WriteBytes(path, c.bytes);
    CUpdateDocumentData doc;
    std::string message;
    EXPECT_FALSE(rvq::LoadFile(path, doc, message));
    EXPECT_NE(std::string::npos, message.find(path)) << message;
    const std::string text = LoadResString(c.messageId);
    EXPECT_NE(std::string::npos, message.find(text.substr(text.find('\n') + 1, 20))) << message;
  }
  CUpdateDocumentData doc;
  std::string message;
  // A file that cannot be opened is named once, followed by the reason.
  EXPECT_FALSE(rvq::LoadFile(Path("missing.rvq"), doc, message));
  EXPECT_EQ(Path("missing.rvq") + "\ncannot be read.\n" + std::strerror(ENOENT), message);
}

TEST_F(UpdateDocumentFile, FailedSaveLeavesTheOldFile) {
  const std::string path = Path("doc.rvq");
  std::string message;
  ASSERT_TRUE(rvq::SaveFile(path, Sample(), message));
  const std::string before = ReadBytes(path);

  CUpdateDocumentData big = Sample();
  auto image = std::make_unique<uint8_t[]>(1 << 20);
  big.SetImage(std::move(image), 1 << 20);

  // A file size limit stands for a full disk: writing fails part way, as root too.
  struct rlimit old;
  ASSERT_EQ(0, getrlimit(RLIMIT_FSIZE, &old));
  auto* oldHandler = signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old;
  small.rlim_cur = 64 * 1024;
  ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &small));
  const bool saved = rvq::SaveFile(path, big, message);
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, oldHandler);

  EXPECT_FALSE(saved);
  EXPECT_NE(std::string::npos, message.find(path)) << message;
  EXPECT_NE(std::string::npos, message.find("left as it was")) << message;
  EXPECT_EQ(before, ReadBytes(path));
  EXPECT_EQ(1, std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()));

  // A folder in the way and a folder that is not there fail the same way, with nothing written.
  fs::create_directory(Path("folder.rvq"));
  EXPECT_FALSE(rvq::SaveFile(Path("folder.rvq"), Sample(), message));
  EXPECT_TRUE(fs::is_directory(Path("folder.rvq")));
  EXPECT_FALSE(rvq::SaveFile(Path("no/such/dir.rvq"), Sample(), message));
  EXPECT_EQ(2, std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()));
  // Where no file was, none is said to be left.
  EXPECT_EQ(Path("no/such/dir.rvq") + "\ncould not be saved.\n" + std::strerror(ENOENT), message);
}

TEST_F(UpdateDocumentFile, SaveKeepsModeAndSymbolicLink) {
  const std::string real = Path("real.rvq");
  const std::string link = Path("link.rvq");
  std::string message;
  ASSERT_TRUE(rvq::SaveFile(real, CUpdateDocumentData(), message));
  ASSERT_EQ(0, chmod(real.c_str(), 0640));
  fs::create_symlink(real, link);
  ASSERT_TRUE(rvq::SaveFile(link, Sample(), message)) << message;
  EXPECT_TRUE(fs::is_symlink(link));
  struct stat st;
  ASSERT_EQ(0, stat(real.c_str(), &st));
  EXPECT_EQ(0640u, st.st_mode & 0777);
  CUpdateDocumentData loaded;
  ASSERT_TRUE(rvq::LoadFile(real, loaded, message));
  ExpectSame(Sample(), loaded);
}
