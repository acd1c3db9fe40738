#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <memory>
#include <vector>

#include "document/update_document_format.h"
#include "platform/replace_file.h"
#include "platform/string_table.h"
#include "platform/text.h"
#include "support/file_system_cases.h"
#include "support/temp_folder.h"
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

class TempDir : public TempFolderTest {
 protected:
  // A test may have taken the owner's rights to the folder away.
  void TearDown() override {
    std::error_code ec;
    fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ec);
    TempFolderTest::TearDown();
  }
  std::string Path(const std::string& name) const { return (dir / name).string(); }
};

}  // namespace

struct RoundTripCase {
  const char* name;
  CUpdateDocumentData (*make)();
};

const std::vector<RoundTripCase>& RoundTripCases() {
  static const std::vector<RoundTripCase> cases = {
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
         for (int i = 0; i < 5000; ++i)
           d.m_targets.push_back(std::make_unique<CTargetObj>("CAL" + std::to_string(i), ""));
         const int32_t n = 3 << 20;
         auto image = std::make_unique<uint8_t[]>(static_cast<size_t>(n));
         for (int32_t i = 0; i < n; ++i) image[static_cast<size_t>(i)] = static_cast<uint8_t>(i * 7);
         d.SetImage(std::move(image), n);
         d.m_bClearFaultHistory = true;
         return d;
       }},
      {"texts around the reader's buffer size",
       [] {
         CUpdateDocumentData d;
         d.m_strCalibrationID = std::string(65535, 'c');
         d.m_strSoftwareID = std::string(65536, 's');
         d.m_strProgramData = std::string(65537, 'p');
         d.m_strComments = std::string(3 * 65536 + 7, 'm');
         d.m_targets.push_back(std::make_unique<CTargetObj>(std::string(65530, 't'), "x"));
         return d;
       }},
  };
  return cases;
}

TEST(UpdateDocumentFormat, RoundTripsEveryMember) {
  for (const RoundTripCase& c : RoundTripCases()) {
    SCOPED_TRACE(c.name);
    const CUpdateDocumentData original = c.make();
    const std::string bytes = Encoded(original);
    EXPECT_EQ(bytes.capacity(), bytes.size());  // built in one buffer of the exact size
    CUpdateDocumentData loaded;
    ASSERT_EQ(rvq::DecodeResult::ok, DecodeInto(bytes, loaded));
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
  EXPECT_EQ(std::string("\x02\0\0\0"
                        "AB",
                        6),
            b.substr(12, 6));
  EXPECT_EQ(std::string("\x04\x03\x02\x01", 4), b.substr(22, 4));
}

// Files that are refused: cut short, changed, foreign, or with lengths that run past the end.
std::vector<std::pair<std::string, std::string>> DamagedFiles() {
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

  return damaged;
}

TEST(UpdateDocumentFormat, RefusesDamagedFilesAndKeepsTheDocument) {
  for (const auto& [what, bytes] : DamagedFiles()) {
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
  EXPECT_EQ(rvq::DecodeResult::newerVersion,
            rvq::Decode(reinterpret_cast<const uint8_t*>(b.data()), b.size(), d, &version));
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
  EXPECT_EQ(Encoded(Sample()), ReadFile(path));
  // Nothing is left beside it.
  EXPECT_EQ(1, std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
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
    WriteFile(path, c.bytes);
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
  const std::string before = ReadFile(path);

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
  EXPECT_EQ(before, ReadFile(path));
  EXPECT_EQ(1, std::distance(fs::directory_iterator(dir), fs::directory_iterator()));

  // A folder in the way and a folder that is not there fail the same way, with nothing written.
  fs::create_directory(Path("folder.rvq"));
  EXPECT_FALSE(rvq::SaveFile(Path("folder.rvq"), Sample(), message));
  EXPECT_TRUE(fs::is_directory(Path("folder.rvq")));
  EXPECT_FALSE(rvq::SaveFile(Path("no/such/dir.rvq"), Sample(), message));
  EXPECT_EQ(2, std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
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

namespace {

// A message as the program words it: the text with the file's name and the system's reason.
std::string Message(unsigned id, const std::string& path, int err) {
  return tessary::Format(LoadResString(id).c_str(), path.c_str(), std::strerror(err));
}

}  // namespace

// The file is read straight into the members, a buffer at a time: members larger and smaller than
// the buffer, and ones that straddle it, come back whole.
TEST_F(UpdateDocumentFile, LoadsEveryMemberStraightFromTheFile) {
  const std::string path = Path("doc.rvq");
  for (const RoundTripCase& c : RoundTripCases()) {
    SCOPED_TRACE(c.name);
    const CUpdateDocumentData original = c.make();
    WriteFile(path, Encoded(original));
    CUpdateDocumentData loaded = Sample();
    std::string message;
    ASSERT_TRUE(rvq::LoadFile(path, loaded, message)) << message;
    ExpectSame(original, loaded);
  }
}

TEST_F(UpdateDocumentFile, RefusesDamagedFilesByNameAndKeepsTheDocument) {
  const std::string path = Path("damaged.rvq");
  for (const auto& [what, bytes] : DamagedFiles()) {
    SCOPED_TRACE(what);
    WriteFile(path, bytes);
    // The same verdict as the reader of a whole buffer.
    CUpdateDocumentData scratch;
    uint32_t version = 0;
    const rvq::DecodeResult result =
        rvq::Decode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), scratch, &version);
    CUpdateDocumentData doc = Sample();
    std::string message;
    EXPECT_FALSE(rvq::LoadFile(path, doc, message));
    ExpectSame(Sample(), doc);
    const unsigned id = result == rvq::DecodeResult::notDocument    ? 2001
                        : result == rvq::DecodeResult::newerVersion ? 2002
                                                                    : 2003;
    EXPECT_EQ(tessary::Format(LoadResString(id).c_str(), path.c_str(), version), message);
  }
}

// A named pipe, a device, a socket or a folder chosen as a document is refused by name before it
// is read; a named pipe without a writer does not hold the open up.
TEST_F(UpdateDocumentFile, RefusesWhatIsNotARegularFileWithoutWaiting) {
  const std::string fifo = Path("pipe.rvq");
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
  fs::create_symlink(fifo, Path("link-to-pipe.rvq"));
  fs::create_directory(Path("folder.rvq"));
  const std::string socketPath = Path("socket.rvq");
  const int sock = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(sock, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(socketPath.size(), sizeof address.sun_path);
  std::strcpy(address.sun_path, socketPath.c_str());
  ASSERT_EQ(0, bind(sock, reinterpret_cast<const sockaddr*>(&address), sizeof address));

  const std::string paths[] = {fifo,       Path("link-to-pipe.rvq"), Path("folder.rvq"), socketPath, "/dev/null",
                               "/dev/zero"};
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    // Run aside, so that an open that waits for a writer fails the test instead of hanging it.
    auto load = std::async(std::launch::async, [path] {
      CUpdateDocumentData doc = Sample();
      std::string message;
      const bool ok = rvq::LoadFile(path, doc, message);
      ExpectSame(Sample(), doc);
      return std::make_pair(ok, message);
    });
    if (load.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
      // Give the waiting open its writer, so that the test can end.
      const int writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
      load.wait();
      if (writer >= 0) close(writer);
      ADD_FAILURE() << "the open waited on a named pipe";
      continue;
    }
    const auto [ok, message] = load.get();
    EXPECT_FALSE(ok);
    EXPECT_EQ(path + "\nis not a regular file and cannot be opened.", message);
  }
  close(sock);
}

// Every road to a save on a disk too small for the new document: the old document is kept byte
// for byte, nothing is left beside it, and the message says so truthfully.
TEST_F(UpdateDocumentFile, EveryRoadOnAFullDiskKeepsTheDocumentAndSaysSo) {
  const SmallDisk disk(1 << 20);
  if (!disk.mounted()) GTEST_SKIP() << disk.why();
  CUpdateDocumentData big = Sample();
  big.m_strProgramData.assign(2 << 20, 'P');
  const std::string old = Encoded(Sample());
  for (const SaveRoadCase& r : SaveRoads()) {
    SCOPED_TRACE(r.what);
    RoadFolder at(disk.path(), r, old);
    if (!at.ready()) continue;
    const fs::path& folder = at.folder;
    const std::string path = at.document.string();
    std::string message;
    EXPECT_FALSE(rvq::SaveFile(path, big, message));
    at.Unlock();
    switch (r.road) {
      case SaveRoad::newName:
        EXPECT_EQ(Message(2008, path, ENOSPC), message);
        EXPECT_TRUE(NamesIn(folder).empty());
        break;
      case SaveRoad::existing:
      case SaveRoad::longName: EXPECT_EQ(Message(2005, path, ENOSPC), message); break;
      case SaveRoad::lockedFolder:
        EXPECT_TRUE(message == Message(2010, path, EACCES) || message == Message(2010, path, EPERM)) << message;
        EXPECT_NE(std::string::npos, message.find("no new file can be made in its folder")) << message;
        break;
    }
    if (r.road != SaveRoad::newName) {
      EXPECT_NE(std::string::npos, message.find("left as it was")) << message;
      EXPECT_EQ(NamesIn(folder), std::vector<std::string>{r.name});
      EXPECT_TRUE(ReadFile(path) == old);
    }
  }
}

TEST_F(UpdateDocumentFile, RefusedReplacementInAStickyFolderSaysSo) {
  ASSERT_EQ(0, chmod(dir.c_str(), 0755));
  const fs::path sticky = dir / "sticky";
  fs::create_directory(sticky);
  ASSERT_EQ(0, chmod(sticky.c_str(), 01777));
  const std::string path = (sticky / "doc.rvq").string();
  const std::string old = Encoded(Sample());
  WriteFile(path, old);
  ASSERT_EQ(0, chmod(path.c_str(), 0666));
  const int result = RunAsNobody([&] {
    std::string message;
    if (rvq::SaveFile(path, CUpdateDocumentData(), message)) return 1;
    return message == Message(2011, path, EPERM) ? 0 : 2;
  });
  if (result < 0) GTEST_SKIP() << "needs root to act as another user";
  EXPECT_EQ(0, result);
  EXPECT_EQ(old, ReadFile(path));
  EXPECT_EQ(NamesIn(sticky), std::vector<std::string>{"doc.rvq"});
}

// A named pipe that took part of the document before the write failed is not said to be as it was.
TEST_F(UpdateDocumentFile, PipeThatTookPartOfTheDocumentIsSaidToHaveIt) {
  const std::string fifo = Path("pipe.rvq");
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
  const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(reader, 0);
  const WriteSeam seam(TenBytesThenFail);
  std::string message;
  const bool saved = rvq::SaveFile(fifo, Sample(), message);
  close(reader);
  EXPECT_FALSE(saved);
  EXPECT_EQ(Message(2012, fifo, EIO), message);
}
