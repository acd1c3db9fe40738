// Programming files and streams: format detection, file load and save, stream load and save.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/stream.h"
#include "platform/string_table.h"
#include "platform/text.h"
#include "prog/prog_base.h"
#include "support/codec_text.h"
#include "support/prog_text.h"
#include "support/temp_folder.h"
#include "support/ui_recorder.h"

namespace {

namespace fs = std::filesystem;

const std::string kS1a = SLine('1', "1000AABBCC");
const std::string kS1b = SLine('1', "1003DDEEFF");
const std::string kPlain = "// Project=P1\n// MachineWordSize=2\n" + kS1a + "\n" + kS1b + "\nS9030000FC\n";

// A folder of its own for each test, and the message boxes shown.
class FileTest : public TempFolderTest {
 protected:
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  UiRecorder ui;
};

// ---------------------------------------------------------------- format detection

class DetectFileType : public FileTest {};

TEST_F(DetectFileType, FirstRecordLineDecides) {
  struct Case {
    const char* text;
    int format;
  };
  for (const Case& c :
       {Case{"// comment\n\n   S1 indented\nS10500001234B4\n:00000001FF\n", PROG_FORMAT_SRECORD},
        Case{"\n:00000001FF\nS10500001234B4\n", PROG_FORMAT_INTEL_HEX},
        Case{"// comment\r\rS10500001234B4\r", PROG_FORMAT_SRECORD}, Case{":garbage\n", PROG_FORMAT_INTEL_HEX},
        Case{"s10500001234b4\n// nothing else\n", PROG_FORMAT_UNKNOWN}, Case{"", PROG_FORMAT_UNKNOWN}}) {
    WriteFile(dir / "f.txt", c.text);
    CProgParse image;
    image.m_dwTableAddress = 0x55;
    EXPECT_EQ(image.DetectFileType((dir / "f.txt").string()), c.format) << c.text;
    EXPECT_EQ(image.m_dwTableAddress, 0x55u);
  }
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(DetectFileType, MissingFileShowsTheFileMessage) {
  CProgParse image;
  const std::string path = (dir / "none.sr").string();
  EXPECT_EQ(image.DetectFileType(path), PROG_FORMAT_UNKNOWN);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, CFileException(CFileException::fileNotFound, ENOENT, path).GetErrorMessage());
  EXPECT_EQ(ui.boxes[0].style, MB_OK);
}

// ---------------------------------------------------------------- file load

class LoadFile : public FileTest {};

TEST_F(LoadFile, PlainFileLoads) {
  WriteFile(dir / "a.sr", kPlain);
  CProgParse image;
  ASSERT_TRUE(image.LoadFile((dir / "a.sr").string()));
  EXPECT_EQ(image.m_listRecords.size(), 2u);
  EXPECT_EQ(image.m_strProject, "P1");
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_GT(ui.waitCount, 0);
  EXPECT_EQ(ui.waitDepth, 0);
}

TEST_F(LoadFile, MissingFileLeavesTheImageAsItWas) {
  CProgParse image;
  ASSERT_EQ(LoadText(image, kPlain), PROG_OK);
  const std::string path = (dir / "none.sr").string();
  EXPECT_FALSE(image.LoadFile(path));
  EXPECT_EQ(image.m_listRecords.size(), 2u);
  EXPECT_EQ(image.m_strProject, "P1");
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, CFileException(CFileException::fileNotFound, ENOENT, path).GetErrorMessage());
}

TEST_F(LoadFile, FailureShowsTheCodesTextWithTheLineNumber) {
  struct Case {
    std::string text;
    int code;
    uint32_t line;
    size_t records;
  };
  for (const Case& c : {Case{"// x\n" + kS1a + "\n" + "S10500001234B5\n" + kS1b + "\n", PROG_E_CHECKSUM, 3, 1},
                        Case{"// only a comment\n\nS9030000FC\n", PROG_E_NO_DATA, 3, 0},
                        Case{kS1a + "\nS4\n", PROG_E_RECORD_TYPE, 2, 1},
                        Case{"// x\r\r" + kS1a + "\r" + kS1b + "\rS10500001234B5\r", PROG_E_CHECKSUM, 5, 2}}) {
    ui.boxes.clear();
    WriteFile(dir / "bad.sr", c.text);
    CProgParse image;
    EXPECT_FALSE(image.LoadFile((dir / "bad.sr").string()));
    EXPECT_EQ(image.m_listRecords.size(), c.records);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, tessary::Format(LoadResString(static_cast<unsigned>(c.code)).c_str(), c.line));
    EXPECT_NE(ui.boxes[0].text.find(std::to_string(c.line)), std::string::npos) << ui.boxes[0].text;
    EXPECT_EQ(ui.boxes[0].style, MB_OK);
  }
}

TEST_F(LoadFile, ExceptionDuringTheParseIsSilent) {
  // A ':' line shorter than 8 characters makes the reader throw.
  WriteFile(dir / "short.hex", ":0000\n");
  CProgParse image;
  EXPECT_FALSE(image.LoadFile((dir / "short.hex").string()));
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_EQ(ui.waitDepth, 0);
}

// ---------------------------------------------------------------- file save

struct SaveCase {
  const char* name;
  int mode;
  const char* path;     // relative to the test folder
  const char* written;  // the file that results
  bool protectedText;   // encoded
  bool header;          // leading text and header block
};

void PrintTo(const SaveCase& c, std::ostream* os) { *os << c.name; }

class SaveModes : public FileTest, public ::testing::WithParamInterface<SaveCase> {};

TEST_P(SaveModes, WritesTheFormAndFileTheModeSays) {
  const SaveCase& c = GetParam();
  CProgParse image;
  ASSERT_EQ(LoadText(image, kPlain), PROG_OK);
  const char* leading = "// Leading text\n";
  ASSERT_TRUE(image.SaveFile((dir / c.path).string(), leading, false, c.mode));
  EXPECT_EQ(Files(), std::vector<std::string>{c.written});
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_EQ(image.m_bProtectedOutput, c.header ? 1 : 0);

  const std::string expected = (c.header ? std::string(leading) : std::string()) + StoreText(image);
  const std::string got = ReadFile(dir / c.written);
  EXPECT_EQ(c.protectedText ? UnprotectText(got) : got, expected);
  EXPECT_EQ(expected.find("// MachineWordSize=2") != std::string::npos, c.header);
}

INSTANTIATE_TEST_SUITE_P(Save, SaveModes,
                         ::testing::Values(SaveCase{"PlainReplacesSrz", 0, "a.srz", "a.sr", false, false},
                                           SaveCase{"PlainReplacesAnyExtension", 0, "a.hex", "a.sr", false, false},
                                           SaveCase{"PlainAddsExtension", 0, "a", "a.sr", false, false},
                                           SaveCase{"PlainKeepsDotsInTheName", 0, "v1.2.srz", "v1.2.sr", false, false},
                                           SaveCase{"OtherModesArePlain", 7, "a.SRZ", "a.sr", false, false},
                                           SaveCase{"ProtectedSrz", 1, "a.srz", "a.srz", true, true},
                                           SaveCase{"ProtectedSrzInCapitals", 1, "A.SRZ", "A.SRZ", true, true},
                                           SaveCase{"ProtectedModeOtherExtensionWritesPlain", 1, "a.sr", "a.sr", false,
                                                    true},
                                           SaveCase{"ProtectedModeNoExtension", 1, "a", "a", false, true}),
                         [](const auto& p) { return std::string(p.param.name); });

class SaveFile : public FileTest {
 protected:
  void SetUp() override {
    FileTest::SetUp();
    ASSERT_EQ(LoadText(image, kPlain), PROG_OK);
  }
  CProgParse image;
};

TEST_F(SaveFile, AnswerNoLeavesTheFileUntouched) {
  WriteFile(dir / "a.sr", "old content\n");
  ui.Answer({IDNO});
  const std::string path = (dir / "a.sr").string();
  EXPECT_FALSE(image.SaveFile(path, nullptr, false, 0));
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "Overwrite " + path + "?");
  EXPECT_EQ(ui.boxes[0].style, MB_YESNO);
  EXPECT_EQ(ReadFile(dir / "a.sr"), "old content\n");
  EXPECT_EQ(Files(), std::vector<std::string>{"a.sr"});
}

TEST_F(SaveFile, AnswerYesOrNoPromptReplacesTheFile) {
  WriteFile(dir / "a.sr", "old content\n");
  ::chmod((dir / "a.sr").c_str(), 0640);
  ui.Answer({IDYES});
  EXPECT_TRUE(image.SaveFile((dir / "a.sr").string(), nullptr, false, 0));
  EXPECT_EQ(ReadFile(dir / "a.sr"), StoreText(image));
  EXPECT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(fs::status(dir / "a.sr").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

  WriteFile(dir / "a.sr", "old content\n");
  EXPECT_TRUE(image.SaveFile((dir / "a.sr").string(), nullptr, true, 0));
  EXPECT_EQ(ui.boxes.size(), 1u);  // no question
  EXPECT_EQ(ReadFile(dir / "a.sr"), StoreText(image));
  EXPECT_EQ(Files(), std::vector<std::string>{"a.sr"});
}

TEST_F(SaveFile, PlainSaveAsksAboutTheFileItWrites) {
  // The caller names a.srz; the plain save writes a.sr, so a.sr is the file to ask about.
  WriteFile(dir / "a.srz", "protected\n");
  EXPECT_TRUE(image.SaveFile((dir / "a.srz").string(), nullptr, false, 0));
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_EQ(ReadFile(dir / "a.srz"), "protected\n");

  WriteFile(dir / "a.sr", "old\n");
  ui.Answer({IDNO});
  EXPECT_FALSE(image.SaveFile((dir / "a.srz").string(), nullptr, false, 0));
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "Overwrite " + (dir / "a.sr").string() + "?");
  EXPECT_EQ(ReadFile(dir / "a.sr"), "old\n");
}

TEST_F(SaveFile, FailedWriteKeepsTheOldFileAndLeavesNoTemporary) {
  // The target is a folder: the new text cannot take its place.
  fs::create_directory(dir / "a.sr");
  WriteFile(dir / "a.sr" / "inside", "kept\n");
  EXPECT_FALSE(image.SaveFile((dir / "a.sr").string(), nullptr, true, 0));
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].style, MB_OK);
  EXPECT_EQ(ReadFile(dir / "a.sr" / "inside"), "kept\n");
  EXPECT_EQ(Files(), std::vector<std::string>{"a.sr"});
}

TEST_F(SaveFile, ThroughALinkTheLinkedFileIsReplaced) {
  WriteFile(dir / "real.sr", "old\n");
  fs::create_symlink("real.sr", dir / "link.sr");
  EXPECT_TRUE(image.SaveFile((dir / "link.sr").string(), nullptr, true, 0));
  EXPECT_TRUE(fs::is_symlink(dir / "link.sr"));
  EXPECT_EQ(ReadFile(dir / "real.sr"), StoreText(image));
  EXPECT_EQ(Files(), (std::vector<std::string>{"link.sr", "real.sr"}));
}

TEST_F(SaveFile, MissingFolderIsReported) {
  EXPECT_FALSE(image.SaveFile((dir / "no" / "such" / "a.sr").string(), nullptr, false, 0));
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.waitDepth, 0);
  EXPECT_GT(ui.waitCount, 0);
}

TEST_F(SaveFile, SavedProtectedFileLoadsBack) {
  const std::string path = (dir / "round.srz").string();
  ASSERT_TRUE(image.SaveFile(path, nullptr, true, 1));
  CProgParse back;
  // A protected file is decoded first, then parsed, as the application does.
  const std::string plain = UnprotectText(ReadFile(path));
  ASSERT_EQ(LoadText(back, plain), PROG_OK);
  EXPECT_EQ(back.m_listRecords.size(), image.m_listRecords.size());
  EXPECT_EQ(back.m_strProject, "P1");
  EXPECT_EQ(back.m_nMachineWordSize, 2);
}

// ---------------------------------------------------------------- streams

// A stream over a copy of text, positioned at its start.
IStream* StreamOf(const std::string& text) {
  IStream* s = nullptr;
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, text.size());
  std::memcpy(GlobalLock(block), text.data(), text.size());
  GlobalUnlock(block);
  EXPECT_EQ(CreateStreamOnHGlobal(block, true, &s), S_OK);
  return s;
}

std::string StreamText(IStream* s) {
  STATSTG st;
  EXPECT_EQ(s->Stat(&st, STATFLAG_NONAME), S_OK);
  std::string text(static_cast<size_t>(st.cbSize), '\0');
  uint32_t read = 0;
  EXPECT_EQ(s->Seek(0, STREAM_SEEK_SET, nullptr), S_OK);
  EXPECT_EQ(s->Read(text.data(), static_cast<uint32_t>(text.size()), &read), S_OK);
  EXPECT_EQ(read, text.size());
  return text;
}

struct StreamCase {
  const char* name;
  std::string content;
  HRESULT result;
  uint8_t loadedProtected;
  size_t records;
};

void PrintTo(const StreamCase& c, std::ostream* os) { *os << c.name; }

class StreamLoad : public ::testing::TestWithParam<StreamCase> {};

TEST_P(StreamLoad, ResultAndForm) {
  const StreamCase& c = GetParam();
  UiRecorder ui;
  IStream* s = StreamOf(c.content);
  CProgParse image;
  image.m_bLoadedProtected = 7;
  EXPECT_EQ(image.LoadFromStream(s), c.result);
  s->Release();
  EXPECT_EQ(image.m_bLoadedProtected, c.loadedProtected);
  EXPECT_EQ(image.m_listRecords.size(), c.records);
  EXPECT_TRUE(ui.boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Streams, StreamLoad,
    ::testing::Values(StreamCase{"Plain", kPlain, S_OK, 0, 2}, StreamCase{"Protected", ProtectText(kPlain), S_OK, 1, 2},
                      StreamCase{"PlainWithoutData", "// nothing\n", PROG_E_STREAM_NO_DATA, 0, 0},
                      StreamCase{"ProtectedWithoutData", ProtectText("// nothing\n"), PROG_E_STREAM_NO_DATA, 1, 0},
                      StreamCase{"Empty", "", PROG_E_STREAM_NO_DATA, 0, 0},
                      StreamCase{"ParseFails", kS1a + "\nS10500001234B5\n", PROG_E_STREAM_PARSE, 0, 1},
                      StreamCase{"ParseThrows", ":0000\n", PROG_E_STREAM_LOAD, 0, 0}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(StreamLoadFrom, OnlyTheBytesReadAreParsed) {
  IStream* s = StreamOf(kS1a + "\n" + kS1b + "\n");
  ASSERT_EQ(s->Seek(static_cast<int64_t>(kS1a.size() + 1), STREAM_SEEK_SET, nullptr), S_OK);
  CProgParse image;
  EXPECT_EQ(image.LoadFromStream(s), S_OK);
  s->Release();
  ASSERT_EQ(image.m_listRecords.size(), 1u);
  EXPECT_EQ(image.m_listRecords.front().m_dwAddress, 0x1003u);
}

// A stream that reports what it is told to.
class FakeStream final : public IStream {
 public:
  uint32_t AddRef() override { return 1; }
  uint32_t Release() override { return 1; }
  HRESULT Stat(STATSTG* st, uint32_t) override {
    st->cbSize = size;
    return statResult;
  }
  HRESULT Read(void*, uint32_t, uint32_t* read) override {
    ++reads;
    if (read) *read = 0;
    return readResult;
  }
  HRESULT Write(const void*, uint32_t, uint32_t*) override { return E_POINTER; }
  HRESULT Seek(int64_t, STREAM_SEEK, uint64_t*) override { return S_OK; }

  uint64_t size = 10;
  HRESULT statResult = S_OK;
  HRESULT readResult = S_OK;
  int reads = 0;
};

TEST(StreamLoadFrom, StreamFailuresComeBackUnchangedAndHugeStreamsAreRefused) {
  CProgParse image;
  FakeStream statFails;
  statFails.statResult = static_cast<HRESULT>(0x80030005u);
  EXPECT_EQ(image.LoadFromStream(&statFails), static_cast<HRESULT>(0x80030005u));
  FakeStream readFails;
  readFails.readResult = static_cast<HRESULT>(0x8003001Du);
  EXPECT_EQ(image.LoadFromStream(&readFails), static_cast<HRESULT>(0x8003001Du));
  FakeStream huge;
  huge.size = uint64_t{1} << 32;
  EXPECT_EQ(image.LoadFromStream(&huge), E_OUTOFMEMORY);
  EXPECT_EQ(huge.reads, 0);
  // A stream that delivers nothing although its size says otherwise parses nothing.
  FakeStream silent;
  EXPECT_EQ(image.LoadFromStream(&silent), PROG_E_STREAM_NO_DATA);
  EXPECT_EQ(image.LoadFromStream(nullptr), E_POINTER);
}

TEST(StreamSave, NullOutParameter) {
  CProgParse image;
  ASSERT_EQ(LoadText(image, kPlain), PROG_OK);
  EXPECT_EQ(image.SaveToStream(nullptr), E_POINTER);
}

TEST(StreamSave, PlainAfterPlainLoadProtectedAfterProtectedLoad) {
  for (bool protect : {false, true}) {
    UiRecorder ui;
    IStream* in = StreamOf(protect ? ProtectText(kPlain) : kPlain);
    CProgParse image;
    ASSERT_EQ(image.LoadFromStream(in), S_OK);
    in->Release();
    IStream* out = reinterpret_cast<IStream*>(0x1);
    ASSERT_EQ(image.SaveToStream(&out), S_OK);
    ASSERT_NE(out, nullptr);
    const std::string text = StreamText(out);
    EXPECT_EQ(protect ? UnprotectText(text) : text, StoreText(image));

    // What went out loads back in the same form.
    ASSERT_EQ(out->Seek(0, STREAM_SEEK_SET, nullptr), S_OK);
    CProgParse back;
    EXPECT_EQ(back.LoadFromStream(out), S_OK);
    EXPECT_EQ(back.m_bLoadedProtected, protect ? 1 : 0);
    EXPECT_EQ(back.m_listRecords.size(), 2u);
    out->Release();
    EXPECT_TRUE(ui.boxes.empty());
  }
}

}  // namespace
