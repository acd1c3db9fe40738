// Loading programming files for the upgrade and as targets, against test databases.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "authoring/program_load.h"
#include "common/update_document_data.h"
#include "protect/codec.h"
#include "support/codec_text.h"
#include "support/temp_folder.h"
#include "support/test_tdb.h"
#include "support/ui_recorder.h"

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

TEST_F(ProgramLoad, FilesWithoutIdsEndSilentlyAndChangeNothing) {
  TestTdb withoutCalId({{42, 3, "SwIdTxt", 1, 2, 1, 8}});
  const struct {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"not a programming file", "hello, world\n"},
      {"empty file", ""},
      {"no CalIdTxt for its ids", ProgramText("SW-0042", "CAL-0042")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    UpgradeProgram p;
    p.size = 77;
    EXPECT_FALSE(LoadUpgradeProgram(Write("f.sr", c.bytes), p));
    EXPECT_EQ(77u, p.size);
    EXPECT_TRUE(p.programData.empty());
    EXPECT_TRUE(ui.boxes.empty());
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
  EXPECT_FALSE(Add(Write("b.sr", ProgramText("SW-B", "CAL-1"))));
  ASSERT_EQ(1u, ui.boxes.size());
  EXPECT_EQ("There is already a target with the CalibrationID of \"CAL-1\" in the list.", ui.boxes[0].text);
  EXPECT_EQ(unsigned{MB_OK}, ui.boxes[0].style);
  // Letter case makes another ID; software IDs are not compared.
  EXPECT_TRUE(Add(Write("c.sr", ProgramText("SW-A", "cal-1"))));
  EXPECT_EQ((std::vector<std::pair<std::string, std::string>>{{"CAL-1", "SW-A"}, {"cal-1", "SW-A"}}), Rows());
  EXPECT_EQ(1u, ui.boxes.size());
}

TEST_F(TargetLoad, AnEmptyCalibrationIdIsAcceptedOnce) {
  ASSERT_TRUE(Add(Write("a.sr", ProgramText("SW-A", ""))));
  EXPECT_FALSE(Add(Write("b.sr", ProgramText("SW-B", ""))));
  ASSERT_EQ(1u, ui.boxes.size());
  EXPECT_EQ("There is already a target with the CalibrationID of \"\" in the list.", ui.boxes[0].text);
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

TEST_F(TargetLoad, TheWaitCursorCoversTheWholeCall) {
  // A protected file: read once, without the plain loader's own cursor.
  ASSERT_TRUE(Add(Write("a.srz", ProtectText(ProgramText("SW-A", "CAL-1")))));
  EXPECT_EQ(1, ui.waitCount);
  EXPECT_EQ(0, ui.waitDepth);
}

}  // namespace
