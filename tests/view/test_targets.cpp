// Targets on the form: Add through the dialog with its start folder, drops, Remove, and the
// document's other windows.
#include <wx/dnd.h>

#include <filesystem>
#include <fstream>

#include "authoring/target_folder.h"
#include "form_fixture.h"
#include "platform/profile.h"
#include "support/codec_text.h"
#include "view/target_list_ctrl.h"

namespace {

using Rows = std::vector<std::pair<std::string, std::string>>;

Rows ListRows(CTessaryAuthorView* view) {
  Rows rows;
  CTargetListCtrl* list = view->GetTargetList();
  for (long i = 0; i < list->GetItemCount(); ++i)
    rows.emplace_back(ToSystemText(list->GetItemText(i, 0)), ToSystemText(list->GetItemText(i, 1)));
  return rows;
}

Rows DocumentRows(const CTessaryAuthorDoc& doc) {
  Rows rows;
  for (const auto& t : doc.m_targets) rows.emplace_back(t->m_strCalibrationID, t->m_strSoftwareID);
  return rows;
}

class TargetsGui : public FormGui {
 protected:
  void SetUp() override {
    FormGui::SetUp();
    g_strSourceCalFolder.clear();
    view = StartWithNewDocument();
    ASSERT_NE(nullptr, view);
    doc = view->GetDocument();
    std::filesystem::create_directories(Path("cals/more"));
  }
  void TearDown() override {
    g_strSourceCalFolder.clear();
    FormGui::TearDown();
  }

  // A programming file for the target (calibrationID, softwareID), plain or protected.
  std::string Program(const std::string& name, const std::string& calId, const std::string& swId,
                      bool protect = false) {
    testimg::ImageBuilder b;
    b.SetIdentity(42, 3, swId, calId);
    const std::string text = protect ? ProtectText(b.Text()) : b.Text();
    const std::string path = Path(name);
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }

  void AddThroughDialog(const std::vector<std::string>& paths) {
    std::vector<wxString> answer;
    for (const std::string& p : paths) answer.push_back(FromSystemPath(p));
    dialogs.choices.push_back(answer);
    Click(view, IDC_ADD_TARGET);
  }

  // As another copy of the program, or this one's Preferences, would store them.
  static void SetPreferences(int always, const std::string& sourceCalPath) {
    CProfile profile(CTessaryAuthorApp::ProfilePath().ToStdString());
    profile.WriteProfileInt("Preferences", "AlwaysUseSourceCalFolder", always);
    profile.WriteProfileString("Preferences", "SourceCalPath", sourceCalPath);
  }

  TestTdb tdb;
  CTessaryAuthorView* view = nullptr;
  CTessaryAuthorDoc* doc = nullptr;
};

TEST_F(TargetsGui, AddTakesEveryChosenFileInOrderAndRefusesADuplicate) {
  const std::string dup = Program("cals/dup.sr", "CAL-A", "SW-OTHER");
  AddThroughDialog({Program("cals/a.sr", "CAL-A", "SW-A"), Program("cals/b.srz", "CAL-B", "SW-B", true), dup,
                    Program("cals/c.sr", "cal-a", "SW-C")});
  const Rows expected = {{"CAL-A", "SW-A"}, {"CAL-B", "SW-B"}, {"cal-a", "SW-C"}};
  EXPECT_EQ(expected, DocumentRows(*doc));
  EXPECT_EQ(expected, ListRows(view));
  ASSERT_EQ(1u, ui.boxes.size());
  EXPECT_EQ(dup + "\nThere is already a target with the CalibrationID of \"CAL-A\" in the list.", ui.boxes[0].text);
  EXPECT_TRUE(doc->IsModified());
  const FileDialogRequest& r = dialogs.requests.back();
  EXPECT_TRUE(r.multiple);
  EXPECT_EQ("Programming Files (*.srz;*.sr)|*.srz;*.sr|All Files (*.*)|*.*||", r.filter);
  // Each row holds its target.
  for (long i = 0; i < view->GetTargetList()->GetItemCount(); ++i) {
    auto it = std::next(doc->m_targets.begin(), i);
    EXPECT_EQ(reinterpret_cast<wxUIntPtr>(it->get()), view->GetTargetList()->GetItemData(i));
  }
}

TEST_F(TargetsGui, TheAddDialogStartsWhereThePreferencesAndTheLastAddSay) {
  const std::string cwd = std::filesystem::current_path().string();
  const std::string cals = Path("cals/"), more = Path("cals/more/"), source = Path("source/");
  const std::string a = Program("cals/a.sr", "CAL-A", "SW-A"), b = Program("cals/more/b.sr", "CAL-B", "SW-B");
  const auto startOfNextAdd = [&](std::optional<std::string> pick) {
    if (pick)
      AddThroughDialog({*pick});
    else
      Click(view, IDC_ADD_TARGET);  // cancelled: no answer queued
    return ToSystemPath(dialogs.requests.back().directory);
  };

  // Switch off: the first Add of a run opens in the current directory (no source path) ...
  EXPECT_EQ(cwd, startOfNextAdd(a));
  // ... later ones where the last one chose.
  EXPECT_EQ(cals, startOfNextAdd(b));
  EXPECT_EQ(more, startOfNextAdd(std::nullopt));
  EXPECT_EQ(more, g_strSourceCalFolder);  // Cancel keeps the start folder
  // A source path does not count while a folder is remembered.
  SetPreferences(0, source);
  EXPECT_EQ(more, startOfNextAdd(std::nullopt));
  // Switch on: always the source path, or the current directory when it is empty.
  SetPreferences(1, source);
  EXPECT_EQ(source, startOfNextAdd(a));
  EXPECT_EQ(source, startOfNextAdd(std::nullopt));
  SetPreferences(1, "");
  EXPECT_EQ(cwd, startOfNextAdd(std::nullopt));
  // Switch off again, with a source path and nothing remembered yet.
  g_strSourceCalFolder.clear();
  SetPreferences(0, source);
  EXPECT_EQ(source, startOfNextAdd(std::nullopt));
}

TEST_F(TargetsGui, DroppedFilesAreAddedInOrderAndTheFolderStays) {
  g_strSourceCalFolder = "/somewhere/";
  view->OnFilesDropped({Program("z.sr", "CAL-Z", "SW-Z"), Program("cals/y.srz", "CAL-Y", "SW-Y", true),
                        Program("x.sr", "CAL-X", "SW-X")});
  EXPECT_EQ((Rows{{"CAL-Z", "SW-Z"}, {"CAL-Y", "SW-Y"}, {"CAL-X", "SW-X"}}), ListRows(view));
  EXPECT_EQ("/somewhere/", g_strSourceCalFolder);
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(TargetsGui, ADropOnTheListAddsTheFilesAmongItsNames) {
  const std::string b = Program("b.sr", "CAL-B", "SW-B"), a = Program("a.srz", "CAL-A", "SW-A", true);
  auto* target = dynamic_cast<wxFileDropTarget*>(view->GetTargetList()->GetDropTarget());
  ASSERT_NE(nullptr, target);
  wxArrayString names;
  for (const std::string& n : {b, Path("cals"), Path("missing.sr"), a}) names.push_back(wxString(n));
  target->OnDropFiles(0, 0, names);
  EXPECT_EQ((Rows{{"CAL-B", "SW-B"}, {"CAL-A", "SW-A"}}), ListRows(view));
  EXPECT_EQ((Rows{{"CAL-B", "SW-B"}, {"CAL-A", "SW-A"}}), DocumentRows(*doc));
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(TargetsGui, EachRefusalOfAnAddOrADropNamesItsFile) {
  std::filesystem::create_directory(Path("cals/Ordner.sr"));
  const std::string damaged = Path("cals/damaged.srz");
  std::ofstream(damaged, std::ios::binary) << ProtectText("S1FF\n");
  const std::vector<std::string> refused = {Path("cals/fehlt-é.sr"), Path("cals/Ordner.sr"), damaged,
                                            Program("cals/dup.sr", "CAL-A", "SW-OTHER")};
  std::vector<std::string> chosen = {Program("cals/a.sr", "CAL-A", "SW-A")};
  chosen.insert(chosen.end(), refused.begin(), refused.end());
  chosen.push_back(Program("cals/b.sr", "CAL-B", "SW-B"));
  const auto expectEachNamed = [&] {
    ASSERT_EQ(refused.size(), ui.boxes.size());
    for (size_t i = 0; i < refused.size(); ++i)
      EXPECT_EQ(refused[i] + "\n", ui.boxes[i].text.substr(0, refused[i].size() + 1)) << ui.boxes[i].text;
    // The protected file that does not parse is asked about, No by default.
    EXPECT_EQ(unsigned{MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2}, ui.boxes[2].style);
    EXPECT_EQ((Rows{{"CAL-A", "SW-A"}, {"CAL-B", "SW-B"}}), ListRows(view));
    EXPECT_EQ((Rows{{"CAL-A", "SW-A"}, {"CAL-B", "SW-B"}}), DocumentRows(*doc));
  };
  ui.Answer({IDOK, IDOK, IDNO});
  AddThroughDialog(chosen);
  expectEachNamed();

  // The same files dropped on a document that has none of them yet.
  Command(ID_FILE_NEW);
  view = CurrentView();
  doc = view->GetDocument();
  ui.boxes.clear();
  ui.Answer({IDOK, IDOK, IDNO});
  view->OnFilesDropped(chosen);
  expectEachNamed();
}

TEST_F(TargetsGui, ADatabaseThatCannotBeUsedIsToldOnceForAllTheFiles) {
  const std::string missing = Path("no-such.tdb");
  ScopedTdbPath scope(missing);
  AddThroughDialog({Program("a.sr", "CAL-A", "SW-A"), Program("b.sr", "CAL-B", "SW-B")});
  ASSERT_EQ(1u, ui.boxes.size());
  EXPECT_EQ(missing + "\ncannot be used as the controller database: there is no such file.", ui.boxes[0].text);
  EXPECT_EQ(0, view->GetTargetList()->GetItemCount());
  EXPECT_FALSE(doc->IsModified());
}

TEST_F(TargetsGui, RemoveTakesTheSelectedRowsAndKeepsTheOrderOfTheRest) {
  AddThroughDialog({Program("1.sr", "C1", "S1"), Program("2.sr", "C2", "S2"), Program("3.sr", "C3", "S3"),
                    Program("4.sr", "C4", "S4"), Program("5.sr", "C5", "S5")});
  CTargetListCtrl* list = view->GetTargetList();
  const auto select = [&](std::initializer_list<long> rows) {
    for (long i = 0; i < list->GetItemCount(); ++i) list->SetItemState(i, 0, wxLIST_STATE_SELECTED);
    for (long r : rows) list->SetItemState(r, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
  };
  const struct {
    const char* name;
    std::initializer_list<long> selected;
    Rows left;
  } cases[] = {
      {"none: nothing goes, yet the document is marked",
       {},
       {{"C1", "S1"}, {"C2", "S2"}, {"C3", "S3"}, {"C4", "S4"}, {"C5", "S5"}}},
      {"one", {1}, {{"C1", "S1"}, {"C3", "S3"}, {"C4", "S4"}, {"C5", "S5"}}},
      {"several", {0, 2, 3}, {{"C3", "S3"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    doc->Modify(false);
    select(c.selected);
    Click(view, IDC_REMOVE_TARGET);
    EXPECT_EQ(c.left, ListRows(view));
    EXPECT_EQ(c.left, DocumentRows(*doc));
    EXPECT_TRUE(doc->IsModified());
  }
}

TEST_F(TargetsGui, ARowWhoseTargetTheDocumentNoLongerHoldsGoesFromTheListAlone) {
  AddThroughDialog({Program("1.sr", "C1", "S1"), Program("2.sr", "C2", "S2")});
  CTargetObj stranger("C9", "S9");
  CTargetListCtrl* list = view->GetTargetList();
  list->InsertTarget(&stranger);
  list->SetItemState(2, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
  Click(view, IDC_REMOVE_TARGET);
  EXPECT_EQ((Rows{{"C1", "S1"}, {"C2", "S2"}}), ListRows(view));
  EXPECT_EQ((Rows{{"C1", "S1"}, {"C2", "S2"}}), DocumentRows(*doc));
}

TEST_F(TargetsGui, TheOtherWindowOfTheDocumentShowsAddsAndRemoves) {
  Command(ID_WINDOW_NEW);
  CTessaryAuthorView* second = CurrentView();
  ASSERT_NE(view, second);
  AddThroughDialog({Program("1.sr", "C1", "S1"), Program("2.sr", "C2", "S2"), Program("3.sr", "C3", "S3")});
  EXPECT_EQ(ListRows(view), ListRows(second));
  second->GetTargetList()->SetItemState(1, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
  Click(second, IDC_REMOVE_TARGET);
  EXPECT_EQ((Rows{{"C1", "S1"}, {"C3", "S3"}}), ListRows(view));
  EXPECT_EQ((Rows{{"C1", "S1"}, {"C3", "S3"}}), ListRows(second));
  // Removing through the first window a row the second one also showed deletes nothing twice.
  view->GetTargetList()->SetItemState(0, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
  Click(view, IDC_REMOVE_TARGET);
  EXPECT_EQ((Rows{{"C3", "S3"}}), ListRows(second));
  EXPECT_EQ((Rows{{"C3", "S3"}}), DocumentRows(*doc));
}

TEST_F(TargetsGui, SavedAndReopenedTheTargetsKeepTheirOrder) {
  AddThroughDialog({Program("b.sr", "C-B", "S-B"), Program("a.sr", "C-A", "S-A"), Program("c.sr", "C-C", "S-C")});
  dialogs.files.push_back(wxString(Path("targets.rvq")));
  Command(ID_FILE_SAVE);
  Command(ID_FILE_CLOSE);
  dialogs.files.push_back(wxString(Path("targets.rvq")));
  Command(ID_FILE_OPEN);
  CTessaryAuthorView* reopened = CurrentView();
  ASSERT_NE(nullptr, reopened);
  EXPECT_EQ((Rows{{"C-B", "S-B"}, {"C-A", "S-A"}, {"C-C", "S-C"}}), ListRows(reopened));
  EXPECT_FALSE(reopened->GetDocument()->IsModified());
}

}  // namespace
