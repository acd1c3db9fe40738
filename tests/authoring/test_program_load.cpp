// Loading programming files for the upgrade and as targets, against test databases.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "authoring/program_load.h"
#include "document/update_document_data.h"
#include "support/codec_text.h"
#include "support/damaged_programs.h"
#include "support/temp_folder.h"
#include "support/test_tdb.h"
#include "support/ui_recorder.h"

// The loader's calls of the codec's string encode come here first (a link-time wrap, see
// CMakeLists.txt): they are counted, and fail while g_bFailEncode is set.
CodecResult RealEncodeProtectedText(uint32_t flags, const void* input, uint32_t length, std::string& text) noexcept
    __asm__("__real_" TESSARY_ENCODE_TEXT_SYMBOL);
CodecResult WrappedEncodeProtectedText(uint32_t flags, const void* input, uint32_t length, std::string& text) noexcept
    __asm__("__wrap_" TESSARY_ENCODE_TEXT_SYMBOL);

int g_nEncodeCalls = 0;
bool g_bFailEncode = false;
const UiRecorder* g_pUi = nullptr;  // when set, the wait cursors up at the last encode
int g_nWaitDepthAtEncode = -1;

CodecResult WrappedEncodeProtectedText(uint32_t flags, const void* input, uint32_t length, std::string& text) noexcept {
  ++g_nEncodeCalls;
  if (g_pUi) g_nWaitDepthAtEncode = g_pUi->waitDepth;
  return g_bFailEncode ? CODEC_E_ENCODE : RealEncodeProtectedText(flags, input, length, text);
}

namespace {

using testimg::ImageBuilder;
using testimg::Layout;

// The S-record text of an image with the given IDs under the test database's ids 42 / 3.
std::string ProgramText(const std::string& swId, const std::string& calId) {
  ImageBuilder b;
  b.SetIdentity(42, 3, swId, calId);
  return b.Text();
}

class ProgramLoad : public TempFolderTest {
 protected:
  std::string Write(const std::string& name, const std::string& bytes) {
    WriteFile(dir / name, bytes);
    return (dir / name).string();
  }

  UiRecorder ui;
};

// ---------------------------------------------------------------- the upgrade

TEST_F(ProgramLoad, TheSamplesAreKeptInTheirProtectedForm) {
  ScopedTdbPath defaultDatabase{""};
  const struct {
    std::string path, softwareID, calibrationID;
    bool protectedFile;
  } cases[] = {
      {TESSARY_SAMPLES_DIR "/sample-plain.sr", "TS100-SW-0A1", "TS100-CAL-0017A1", false},
      {TESSARY_SAMPLES_DIR "/sample-protected.srz", "TS200-SW-0B2", "TS200-CAL-0017B2", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    UpgradeProgram p;
    ASSERT_TRUE(LoadUpgradeProgram(c.path, p));
    EXPECT_EQ(c.softwareID, p.ids.softwareID);
    EXPECT_EQ(c.calibrationID, p.ids.calibrationID);
    const std::string text = ReadFile(c.path);
    EXPECT_EQ(text.size(), p.size);  // the file's own length, not the stored text's
    // A protected file is kept as it was read; a plain one as the codec protects it.
    EXPECT_EQ(text, c.protectedFile ? p.programData : UnprotectText(p.programData));
  }
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(ProgramLoad, FilesWithoutIdsChangeNothing) {
  TestTdb withoutCalId({{42, 3, "SwIdTxt", 1, 2, 1, 8}});
  const struct {
    const char* name;
    std::string bytes;
    bool question;  // a text without data records is asked about; taken, it still has no IDs
  } cases[] = {
      {"not a programming file", "hello, world\n", true},
      {"empty file", "", true},
      {"no CalIdTxt for its ids", ProgramText("SW-0042", "CAL-0042"), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ui.boxes.clear();
    UpgradeProgram p;
    p.size = 77;
    EXPECT_FALSE(LoadUpgradeProgram(Write("f.sr", c.bytes), p));
    EXPECT_EQ(77u, p.size);
    EXPECT_TRUE(p.programData.empty());
    ASSERT_EQ(c.question ? 1u : 0u, ui.boxes.size());
    if (c.question) {
      EXPECT_EQ(unsigned{MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2}, ui.boxes[0].style);
    }
  }
}

TEST_F(ProgramLoad, TheCalibrationIdEndsAtItsFirstZeroByte) {
  TestTdb tdb;
  const struct {
    const char* name;
    std::vector<uint8_t> item;  // 16 bytes of room
    std::string expected;
  } cases[] = {
      {"all sixteen characters, no zero", std::vector<uint8_t>(16, 'C'), std::string(16, 'C')},
      {"an early zero", {'C', 'A', 'L', 0, 'X', 'Y'}, "CAL"},
      {"zero first", {0, 'X'}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ImageBuilder b;
    b.SetIdentity(42, 3, "SW-0042", "unused");
    std::vector<uint8_t> item = c.item;
    item.resize(16, 0);
    b.SetItem(2, 0, testimg::Item::Bytes(item));
    UpgradeProgram p;
    ASSERT_TRUE(LoadUpgradeProgram(Write("f.sr", b.Text()), p));
    EXPECT_EQ(c.expected, p.ids.calibrationID);
  }
}

TEST_F(ProgramLoad, ACalibrationItemLongerThanItsRoomIsRefused) {
  TestTdb tdb;
  ImageBuilder b;
  b.SetIdentity(42, 3, "SW-0042", "unused");
  b.SetItem(2, 0, testimg::Item::Text("CAL", 17));  // one byte more than the database's 16
  UpgradeProgram p;
  EXPECT_FALSE(LoadUpgradeProgram(Write("f.sr", b.Text()), p));
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(ProgramLoad, UnreadableDatabaseIdsFallBackToSixAndNine) {
  TestTdb tdb;
  ImageBuilder b;
  // Texts where the rows of ids 6 / 9 put them, and no table 0.
  b.SetText(3, 1, "SW-DEFAULT", 12).SetText(1, 0, "CAL-DEFAULT", 12);
  UpgradeProgram p;
  ASSERT_TRUE(LoadUpgradeProgram(Write("f.sr", b.Text()), p));
  EXPECT_EQ("SW-DEFAULT", p.ids.softwareID);
  EXPECT_EQ("CAL-DEFAULT", p.ids.calibrationID);
}

// The protected form is made only for a file that is taken: the question answered Yes and both
// IDs found.
TEST_F(ProgramLoad, APlainFileIsProtectedOnlyOnceItIsTaken) {
  TestTdb tdb;
  const std::string text = ProgramText("SW-0042", "CAL-0042");
  const struct {
    const char* name;
    std::string bytes;
    int answer;  // to the question about a text that does not parse whole
    bool taken;
    int encodes;
  } cases[] = {
      {"plain", text, 0, true, 1},
      {"protected", ProtectText(text), 0, true, 0},
      {"a bad last line, taken anyway", text + "S1FF\n", IDYES, true, 1},
      {"a bad last line, not taken", text + "S1FF\n", IDNO, false, 0},
      {"no programming file, taken anyway: no IDs", "hello, world\n", IDYES, false, 0},
  };
  g_pUi = &ui;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.answer != 0) ui.Answer({c.answer});
    g_nEncodeCalls = 0;
    g_nWaitDepthAtEncode = -1;
    UpgradeProgram p;
    EXPECT_EQ(c.taken, LoadUpgradeProgram(Write("f.sr", c.bytes), p));
    EXPECT_EQ(c.encodes, g_nEncodeCalls);
    EXPECT_EQ(c.encodes == 1 ? 1 : -1, g_nWaitDepthAtEncode);  // the longest stage, under the wait cursor
    EXPECT_EQ(0, ui.waitDepth);
    if (c.taken) {
      EXPECT_EQ("CAL-0042", p.ids.calibrationID);
      EXPECT_EQ(c.bytes, c.encodes == 1 ? UnprotectText(p.programData) : p.programData);
    }
  }
  g_pUi = nullptr;
  TestTdb withoutCalId({{42, 3, "SwIdTxt", 1, 2, 1, 8}});
  g_nEncodeCalls = 0;
  UpgradeProgram p;
  EXPECT_FALSE(LoadUpgradeProgram(Write("f.sr", text), p));
  EXPECT_EQ(0, g_nEncodeCalls);
}

// The document keeps the file's text up to its first zero byte: a protected file's own, or a
// plain file's when it cannot be protected. The size is the whole file's.
TEST_F(ProgramLoad, WhatCannotBeProtectedIsKeptPlain) {
  TestTdb tdb;
  const std::string text = ProgramText("SW-0042", "CAL-0042");
  const std::string sealed = ProtectText(text);
  const std::string zeroThenMore("\0junk\n", 6);  // no hex digit: the protected text still decodes
  const struct {
    const char* name;
    std::string bytes;
    bool failEncode;
    std::string kept;
  } cases[] = {
      {"plain, the encode failing", text, true, text},
      {"plain with a zero byte, the encode failing", text + zeroThenMore, true, text},
      {"protected, then a zero byte", sealed + zeroThenMore, false, sealed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    g_bFailEncode = c.failEncode;
    UpgradeProgram p;
    const bool taken = LoadUpgradeProgram(Write("f.sr", c.bytes), p);
    g_bFailEncode = false;
    ASSERT_TRUE(taken);
    EXPECT_EQ(c.kept, p.programData);
    EXPECT_EQ(c.bytes.size(), p.size);
    EXPECT_EQ("SW-0042", p.ids.softwareID);
    EXPECT_EQ("CAL-0042", p.ids.calibrationID);
  }
}

TEST_F(ProgramLoad, AFileThatCannotBeReadIsReportedNamingIt) {
  TestTdb tdb;
  std::vector<std::string> paths = {(dir / "missing.sr").string(), dir.string()};
  // A file that yields fewer bytes than its length says (the kernel's files claim a page).
  for (const char* p : {"/sys/kernel/mm/transparent_hugepage/enabled", "/sys/kernel/mm/transparent_hugepage/defrag"})
    if (std::filesystem::exists(p) && std::filesystem::file_size(p) > ReadFile(p).size()) {
      paths.push_back(p);
      break;
    }
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    ui.boxes.clear();
    UpgradeProgram p;
    EXPECT_FALSE(LoadUpgradeProgram(path, p));
    ASSERT_EQ(1u, ui.boxes.size());
    EXPECT_NE(std::string::npos, ui.boxes[0].text.find(path)) << ui.boxes[0].text;
    EXPECT_EQ(unsigned{MB_OK}, ui.boxes[0].style);
  }
}

TEST_F(ProgramLoad, FilesOfFourGigabytesAreRefused) {
  const std::string path = Write("huge.sr", "");
  std::filesystem::resize_file(path, uint64_t{1} << 32);  // sparse: no disk is used
  UpgradeProgram p;
  EXPECT_FALSE(LoadUpgradeProgram(path, p));
  ASSERT_EQ(1u, ui.boxes.size());
  EXPECT_EQ(path + "\ncannot be read: it is 4 GB or larger.", ui.boxes[0].text);
  EXPECT_EQ(nullptr, LoadTargetFromFile(path, {}));
  EXPECT_EQ(2u, ui.boxes.size());
}

TEST_F(ProgramLoad, OnlyRegularFilesAreReadAndTheRestRefusedAtOnce) {
  TestTdb tdb;
  const std::string pipe = (dir / "Kalibrierung-Ü.sr").string(), folder = (dir / "folder.sr").string();
  ASSERT_EQ(0, ::mkfifo(pipe.c_str(), 0600));
  std::filesystem::create_directory(folder);
  const struct {
    std::string path;
    const char* kind;
  } cases[] = {{pipe, "a named pipe"}, {folder, "a folder"}, {"/dev/zero", "a device"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const std::string message = c.path + "\ncannot be read: it is " + c.kind + ", not a file.";
    ui.boxes.clear();
    UpgradeProgram p;
    EXPECT_FALSE(LoadUpgradeProgram(c.path, p));
    EXPECT_EQ(nullptr, LoadTargetFromFile(c.path, {}));
    ASSERT_EQ(2u, ui.boxes.size());
    for (const auto& box : ui.boxes) {
      EXPECT_EQ(message, box.text);
      EXPECT_EQ(unsigned{MB_OK}, box.style);
      EXPECT_EQ(0, box.waitDepth);
    }
    // An image is read the same way.
    uint32_t length = 77;
    try {
      ReadWholeFileBytes(c.path, kImageFileLimit, length);
      ADD_FAILURE() << "read";
    } catch (const CNotAFileException& e) {
      EXPECT_EQ(message, e.GetErrorMessage());
    }
    EXPECT_EQ(77u, length);
  }
  EXPECT_EQ(0, ui.waitDepth);
}

// ---------------------------------------------------------------- texts that do not parse whole

constexpr unsigned kQuestionStyle = MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2;

std::string Question(const std::string& path, const std::string& parseText) {
  return path + "\nis not a sound programming file:\n" + parseText + "\n\nTake it anyway?";
}

class DamagedCopies : public ProgramLoad {
 protected:
  struct Copy {
    std::string name, path, plainText, parseText;
    bool protectedFile;
  };
  // Each damaged copy of the sample, as plain text and protected.
  std::vector<Copy> Copies() {
    std::vector<Copy> copies;
    int n = 0;
    for (const DamagedProgram& d : DamagedSamples(TESSARY_SAMPLES_DIR "/sample-plain.sr")) {
      ++n;
      copies.push_back({d.name, Write("damaged-" + std::to_string(n) + ".sr", d.text), d.text, d.parseText, false});
      copies.push_back({std::string(d.name) + ", protected",
                        Write("damaged-" + std::to_string(n) + ".srz", ProtectText(d.text)), d.text, d.parseText,
                        true});
    }
    return copies;
  }

  ScopedTdbPath defaultDatabase{""};  // the sample's ids are in the default database
};

TEST_F(DamagedCopies, BrowseAsksAndOnlyYesTakesIt) {
  for (const Copy& c : Copies()) {
    SCOPED_TRACE(c.name);
    // No, and whatever else closes the question without a Yes.
    for (int answer : {IDNO, IDCANCEL, IDOK}) {
      ui.boxes.clear();
      ui.Answer({answer});
      UpgradeProgram p;
      p.size = 77;
      p.programData = "before";
      EXPECT_FALSE(LoadUpgradeProgram(c.path, p));
      EXPECT_EQ(77u, p.size);
      EXPECT_EQ("before", p.programData);
      EXPECT_EQ("", p.ids.calibrationID);
      ASSERT_EQ(1u, ui.boxes.size());
      EXPECT_EQ(Question(c.path, c.parseText), ui.boxes[0].text);
      EXPECT_EQ(kQuestionStyle, ui.boxes[0].style);
      EXPECT_EQ(0, ui.boxes[0].waitDepth);  // not asked under the wait cursor
    }
    ui.boxes.clear();
    ui.Answer({IDYES});
    UpgradeProgram p;
    ASSERT_TRUE(LoadUpgradeProgram(c.path, p));
    EXPECT_EQ(1u, ui.boxes.size());
    EXPECT_EQ("TS100-CAL-0017A1", p.ids.calibrationID);
    EXPECT_EQ("TS100-SW-0A1", p.ids.softwareID);
    const std::string file = ReadFile(c.path);
    EXPECT_EQ(file.size(), p.size);
    EXPECT_EQ(c.plainText, UnprotectText(p.programData));
    if (c.protectedFile) {
      EXPECT_EQ(file, p.programData);
    }
    EXPECT_EQ(0, ui.waitDepth);
  }
}

TEST_F(DamagedCopies, AddAsksForAProtectedFileAndRefusesAPlainOneWithWhatTheParseSays) {
  for (const Copy& c : Copies()) {
    SCOPED_TRACE(c.name);
    ui.boxes.clear();
    if (c.protectedFile) ui.Answer({IDNO});
    EXPECT_EQ(nullptr, LoadTargetFromFile(c.path, {}));
    ASSERT_EQ(1u, ui.boxes.size());
    EXPECT_EQ(0, ui.boxes[0].waitDepth);
    if (!c.protectedFile) {
      EXPECT_EQ(c.path + "\n" + c.parseText, ui.boxes[0].text);
      EXPECT_EQ(unsigned{MB_OK}, ui.boxes[0].style);
      continue;
    }
    EXPECT_EQ(Question(c.path, c.parseText), ui.boxes[0].text);
    EXPECT_EQ(kQuestionStyle, ui.boxes[0].style);
    ui.Answer({IDYES});
    const std::unique_ptr<CTargetObj> t = LoadTargetFromFile(c.path, {});
    ASSERT_NE(nullptr, t);
    EXPECT_EQ("TS100-CAL-0017A1", t->m_strCalibrationID);
    EXPECT_EQ(2u, ui.boxes.size());
  }
}

// ---------------------------------------------------------------- the controller database

TEST_F(ProgramLoad, ADatabaseThatCannotBeUsedIsNamedWithTheReason) {
  const std::string program = Write("p.sr", ProgramText("SW-0042", "CAL-0042"));
  const std::string db = (dir / "controllers-Ö.tdb").string();
  const auto reason = [](const UnusableTdb& u) -> std::string {
    switch (u.problem) {
      case TdbProblem::missing: return "there is no such file";
      case TdbProblem::notRegularFile:
        return std::string("it is ") + (u.name == std::string("folder") ? "a folder" : "a named pipe") + ", not a file";
      case TdbProblem::notDatabase: return "SQLite cannot read it (file is not a database)";
      case TdbProblem::noParameterTable: return "it has no table \"parameter\"";
      case TdbProblem::missingColumn: return "its table \"parameter\" has no column \"" + u.detail + "\"";
      case TdbProblem::computedColumn:
        return "the column \"" + u.detail + "\" of its table \"parameter\" is computed, not stored";
      case TdbProblem::noUniqueKey:
        return "its table \"parameter\" has no key that keeps one row for each project_id, table0_rev and name";
      default: return "?";
    }
  };
  for (const UnusableTdb& u : UnusableTdbs()) {
    SCOPED_TRACE(u.name);
    std::filesystem::remove_all(db);
    u.make(db);
    ScopedTdbPath scope(db);
    const std::string message = db + "\ncannot be used as the controller database: " + reason(u) + ".";
    ui.boxes.clear();
    UpgradeProgram p;
    EXPECT_FALSE(LoadUpgradeProgram(program, p));
    EXPECT_EQ("", p.ids.calibrationID);
    bool unusable = false;
    EXPECT_EQ(nullptr, LoadTargetFromFile(program, {}, &unusable));
    EXPECT_TRUE(unusable);
    ASSERT_EQ(2u, ui.boxes.size());
    for (const auto& box : ui.boxes) {
      EXPECT_EQ(message, box.text);
      EXPECT_EQ(0, box.waitDepth);
    }
  }
  // A sound database that knows nothing of the file says nothing.
  TestTdb withoutCalId({{42, 3, "SwIdTxt", 1, 2, 1, 8}});
  ui.boxes.clear();
  bool unusable = false;
  EXPECT_EQ(nullptr, LoadTargetFromFile(program, {}, &unusable));
  EXPECT_FALSE(unusable);
  EXPECT_TRUE(ui.boxes.empty());
}

// ---------------------------------------------------------------- targets

class TargetLoad : public ProgramLoad {
 protected:
  // Loads path as a target and, when it is one, appends it as the Add command does.
  bool Add(const std::string& path) {
    std::unique_ptr<CTargetObj> t = LoadTargetFromFile(path, targets);
    if (!t) return false;
    targets.push_back(std::move(t));
    return true;
  }
  std::vector<std::pair<std::string, std::string>> Rows() const {
    std::vector<std::pair<std::string, std::string>> rows;
    for (const auto& t : targets) rows.emplace_back(t->m_strCalibrationID, t->m_strSoftwareID);
    return rows;
  }

  TestTdb tdb;
  std::list<std::unique_ptr<CTargetObj>> targets;
};

TEST_F(TargetLoad, ADuplicateCalibrationIdIsRefusedWithItsId) {
  ASSERT_TRUE(Add(Write("a.sr", ProgramText("SW-A", "CAL-1"))));
  const std::string b = Write("b.sr", ProgramText("SW-B", "CAL-1"));
  EXPECT_FALSE(Add(b));
  ASSERT_EQ(1u, ui.boxes.size());
  EXPECT_EQ(b + "\nThere is already a target with the CalibrationID of \"CAL-1\" in the list.", ui.boxes[0].text);
  EXPECT_EQ(unsigned{MB_OK}, ui.boxes[0].style);
  // Letter case makes another ID; software IDs are not compared.
  EXPECT_TRUE(Add(Write("c.sr", ProgramText("SW-A", "cal-1"))));
  EXPECT_EQ((std::vector<std::pair<std::string, std::string>>{{"CAL-1", "SW-A"}, {"cal-1", "SW-A"}}), Rows());
  EXPECT_EQ(1u, ui.boxes.size());
}

TEST_F(TargetLoad, AnEmptyCalibrationIdIsAcceptedOnce) {
  ASSERT_TRUE(Add(Write("a.sr", ProgramText("SW-A", ""))));
  const std::string b = Write("b.sr", ProgramText("SW-B", ""));
  EXPECT_FALSE(Add(b));
  ASSERT_EQ(1u, ui.boxes.size());
  EXPECT_EQ(b + "\nThere is already a target with the CalibrationID of \"\" in the list.", ui.boxes[0].text);
}

TEST_F(TargetLoad, AProtectedFileAndItsPlainTextGiveTheSameTarget) {
  const std::string text = ProgramText("SW-P", "CAL-P");
  ASSERT_TRUE(Add(Write("p.srz", ProtectText(text))));
  ASSERT_TRUE(Add(Write("p.sr", text)) == false);  // the same ID again
  targets.clear();
  ui.boxes.clear();
  ASSERT_TRUE(Add(Write("p.sr", text)));
  EXPECT_EQ((std::vector<std::pair<std::string, std::string>>{{"CAL-P", "SW-P"}}), Rows());
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(TargetLoad, FailuresAddNothingAndSayWhatTheLoaderSays) {
  const struct {
    const char* name;
    std::string path;
    bool message;
  } cases[] = {
      {"not a programming file: the loader's message", Write("x.sr", "S1FF\n"), true},
      {"missing file: the open's message", (dir / "missing.sr").string(), true},
      {"no software ID: silent", Write("y.sr", ImageBuilder().SetIds(42, 3).Text()), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ui.boxes.clear();
    EXPECT_FALSE(Add(c.path));
    EXPECT_EQ(c.message ? 1u : 0u, ui.boxes.size());
    EXPECT_EQ(0, ui.waitDepth);
  }
  EXPECT_TRUE(targets.empty());
}

TEST_F(TargetLoad, EveryRefusalOfSeveralFilesNamesItsFileFirst) {
  ASSERT_TRUE(Add(Write("first.sr", ProgramText("SW-A", "CAL-1"))));
  ui.boxes.clear();
  std::filesystem::create_directory(dir / "Ordner.sr");
  const std::vector<std::string> refused = {
      (dir / "fehlt-ä.sr").string(),
      (dir / "Ordner.sr").string(),
      Write("bad-record.sr", "S1FF\n"),
      Write("no-records.SR", "just a note\n"),
      Write("bad-record.SRZ", ProtectText("S1FF\n")),  // asked about, taken, and then without IDs
      Write("same-id.sr", ProgramText("SW-B", "CAL-1")),
  };
  for (const std::string& path : refused) EXPECT_FALSE(Add(path)) << path;
  ASSERT_EQ(refused.size(), ui.boxes.size());
  for (size_t i = 0; i < refused.size(); ++i) {
    const std::string& text = ui.boxes[i].text;
    EXPECT_EQ(refused[i] + "\n", text.substr(0, refused[i].size() + 1)) << text;
    // Named once, at the top.
    EXPECT_EQ(std::string::npos, text.find(refused[i] + "\n" + refused[i] + "\n")) << text;
  }
  EXPECT_EQ(1u, targets.size());
}

TEST_F(TargetLoad, TheWaitCursorCoversTheWholeCall) {
  // A protected file: read once, without the plain loader's own cursor.
  ASSERT_TRUE(Add(Write("a.srz", ProtectText(ProgramText("SW-A", "CAL-1")))));
  EXPECT_EQ(1, ui.waitCount);
  EXPECT_EQ(0, ui.waitDepth);
}

}  // namespace
