// The application's logic that needs no display: placement fitting, the command bars' profile
// entries, the command line, the template string, the About box's reading of a version block,
// and the profile file as the toolkit's configuration wrote it.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>

#include <wx/fileconf.h>
#include <wx/init.h>

#include "app/startup.h"
#include "app/version_info.h"
#include "platform/command_bars.h"
#include "platform/profile.h"
#include "platform/window_placement.h"
#include "res/app_ids.h"

TEST(WindowPlacement, SavedPlacementIsFittedOntoTheDisplays) {
  const std::vector<WindowRect> two = {{0, 0, 1280, 1000}, {1280, 0, 1920, 1080}};
  struct Case {
    const char* what;
    WindowPlacement saved;
    WindowPlacement expected;
  } cases[] = {
      {"inside stays", {{100, 50, 800, 600}, SW_SHOWNORMAL}, {{100, 50, 800, 600}, SW_SHOWNORMAL}},
      {"on the second display stays", {{1500, 100, 800, 600}, SW_SHOWNORMAL}, {{1500, 100, 800, 600}, SW_SHOWNORMAL}},
      {"maximised stays maximised", {{100, 50, 800, 600}, SW_SHOWMAXIMIZED}, {{100, 50, 800, 600}, SW_SHOWMAXIMIZED}},
      {"minimised comes back normal", {{100, 50, 800, 600}, SW_SHOWMINIMIZED}, {{100, 50, 800, 600}, SW_SHOWNORMAL}},
      {"off every screen goes to the first",
       {{-5000, 8000, 800, 600}, SW_SHOWNORMAL},
       {{0, 400, 800, 600}, SW_SHOWNORMAL}},
      {"beyond every display goes to the primary",
       {{9000, 100, 800, 600}, SW_SHOWNORMAL},
       {{480, 100, 800, 600}, SW_SHOWNORMAL}},
      {"hanging off is pulled in", {{600, 900, 800, 600}, SW_SHOWNORMAL}, {{480, 400, 800, 600}, SW_SHOWNORMAL}},
      {"mostly on the second goes there",
       {{1000, 900, 800, 600}, SW_SHOWNORMAL},
       {{1280, 480, 800, 600}, SW_SHOWNORMAL}},
      {"too large is shrunk", {{0, 0, 2000, 4000}, SW_SHOWNORMAL}, {{0, 0, 1280, 1000}, SW_SHOWNORMAL}},
      {"off screen and maximised", {{-3000, -3000, 800, 600}, SW_SHOWMAXIMIZED}, {{0, 0, 800, 600}, SW_SHOWMAXIMIZED}},
      {"unknown show command is normal", {{100, 50, 800, 600}, 7}, {{100, 50, 800, 600}, SW_SHOWNORMAL}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.expected, FitPlacement(c.saved, two));
  }
}

TEST(WindowPlacement, DefaultIsCentredOnThePrimaryDisplay) {
  const WindowPlacement p = DefaultPlacement({0, 0, 1280, 1024});
  EXPECT_EQ(SW_SHOWNORMAL, p.showCmd);
  EXPECT_EQ(1280, p.normal.x * 2 + p.normal.width);
  EXPECT_EQ(1024, p.normal.y * 2 + p.normal.height);
  EXPECT_GT(p.normal.width, 600);
}

TEST(CommandBars, DefaultsFollowToolbarAndAcceleratorTables) {
  const CommandBarsState s = CommandBarsState::Defaults();
  const std::vector<int> buttons = {ID_FILE_NEW, ID_FILE_OPEN, ID_FILE_SAVE,  0, ID_PREFERENCES, 0,
                                    ID_EDIT_CUT, ID_EDIT_COPY, ID_EDIT_PASTE, 0, ID_FILE_PRINT,  0,
                                    ID_APP_ABOUT};
  EXPECT_EQ(buttons, s.standardButtons);
  ASSERT_EQ(13u, s.keys.size());
  EXPECT_EQ((KeyBinding{ID_FILE_NEW, "Ctrl+N"}), s.keys.front());
  EXPECT_EQ((std::vector<std::string>{"Ctrl+Z", "Alt+Back"}), s.KeysFor(ID_EDIT_UNDO));
  EXPECT_EQ((std::vector<std::string>{"Ctrl+C", "Ctrl+Insert"}), s.KeysFor(ID_EDIT_COPY));
  EXPECT_EQ((std::vector<std::string>{"Shift+F6"}), s.KeysFor(ID_PREV_PANE));
  EXPECT_TRUE(s.toolbarVisible && s.statusBarVisible);
}

TEST(CommandBars, EntriesRoundTripAndBadEntriesKeepDefaults) {
  CommandBarsState s = CommandBarsState::Defaults();
  s.toolbarVisible = false;
  s.largeIcons = true;
  s.standardButtons = {ID_FILE_CLOSE, 0, kMenuButtonBase + 1};
  s.AssignKey(ID_FILE_CLOSE, "Ctrl+N");  // taken from New
  s.AssignKey(ID_FILE_CLOSE, "Ctrl+=");
  EXPECT_TRUE(s.KeysFor(ID_FILE_NEW).empty());

  std::map<std::string, std::string> profile;
  for (const auto& [name, value] : s.ToEntries()) profile[name] = value;
  const auto reader = [&](const std::string& name, std::string& value) {
    auto it = profile.find(name);
    if (it == profile.end()) return false;
    value = it->second;
    return true;
  };
  EXPECT_EQ(s, CommandBarsState::FromEntries(reader));

  // Nothing saved, or values that no version wrote: the bars as built from the resources.
  profile.clear();
  EXPECT_EQ(CommandBarsState::Defaults(), CommandBarsState::FromEntries(reader));
  profile = {{"ToolbarVisible", "yes"}, {"StandardButtons", "57600,99999"}, {"Keys", "57600=Ctrl+N\tjunk"}};
  EXPECT_EQ(CommandBarsState::Defaults(), CommandBarsState::FromEntries(reader));
  profile = {{"StandardButtons", ""}, {"Keys", ""}};
  const CommandBarsState empty = CommandBarsState::FromEntries(reader);
  EXPECT_TRUE(empty.standardButtons.empty());
  EXPECT_TRUE(empty.keys.empty());
}

TEST(CommandBars, MenuTextWithoutMarks) {
  EXPECT_EQ("Open...", PlainMenuText("&Open...\tCtrl+O"));
  EXPECT_EQ("About TessaryAuthor...", PlainMenuText("&About TessaryAuthor..."));
  EXPECT_EQ("Save & Close", PlainMenuText("Save && Close"));
}

TEST(Startup, CommandLine) {
  struct Case {
    std::vector<std::string> args;
    ShellRequest::Kind kind;
    const char* file;
  } cases[] = {
      {{}, ShellRequest::fileNew, ""},
      {{"/data/a.rvq"}, ShellRequest::fileOpen, "/data/a.rvq"},
      {{"-unknown", "a.rvq", "b.rvq"}, ShellRequest::fileOpen, "a.rvq"},
      {{"--", "-dash.rvq"}, ShellRequest::fileOpen, "-dash.rvq"},
      {{"-x"}, ShellRequest::fileNew, ""},
  };
  for (const Case& c : cases) {
    const ShellRequest r = ParseCommandLine(c.args);
    EXPECT_EQ(c.kind, r.kind);
    EXPECT_EQ(c.file, r.fileName);
  }
}

TEST(Startup, ANameBecomesAFullPath) {
  const struct {
    const char *name, *cwd, *full;
  } cases[] = {
      {"rel.rvq", "/home/u/docs", "/home/u/docs/rel.rvq"},
      {"./rel.rvq", "/home/u/docs", "/home/u/docs/rel.rvq"},
      {"sub//rel.rvq", "/home/u/docs", "/home/u/docs/sub/rel.rvq"},
      {"../rel.rvq", "/home/u/docs", "/home/u/rel.rvq"},
      {"../../../../rel.rvq", "/home/u", "/rel.rvq"},
      {"rel.rvq", "/", "/rel.rvq"},
      // The folder of the name may be a link: what ".." after it means is the file system's.
      {"link/../rel.rvq", "/home/u", "/home/u/link/../rel.rvq"},
      {"/abs/./a.rvq", "/home/u", "/abs/./a.rvq"},
      {"d\xc3\xa9j\xc3\xa0 vu.rvq", "/home/u", "/home/u/d\xc3\xa9j\xc3\xa0 vu.rvq"},
      {"", "/home/u", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.full, FullPath(c.name, c.cwd)) << c.name;
  // From the process's own folder.
  const std::string cwd = std::filesystem::current_path().string();
  EXPECT_EQ(cwd + "/rel.rvq", FullPath("rel.rvq"));
  EXPECT_EQ("/abs.rvq", FullPath("/abs.rvq"));
}

TEST(Startup, TemplateStringFields) {
  const TemplateStrings t =
      ParseTemplateString("\nVarnix\nVarnix\nTessary Files (*.rvq)\n.rvq\nTessaryAuthor.Document\nVarnix Document");
  EXPECT_EQ("", t.windowTitle);
  EXPECT_EQ("Varnix", t.docName);
  EXPECT_EQ("Varnix", t.fileNewName);
  EXPECT_EQ("Tessary Files (*.rvq)", t.filterName);
  EXPECT_EQ(".rvq", t.filterExt);
  EXPECT_EQ("TessaryAuthor.Document", t.regFileTypeId);
  EXPECT_EQ("Varnix Document", t.regFileTypeName);
  EXPECT_EQ("", ParseTemplateString("\nA").filterName);
}

namespace {

// A block that answers from a table; a value may come with a length of 0 or a null pointer.
class TableVersionBlock : public IVersionBlock {
 public:
  struct Value {
    const char* text;
    std::optional<unsigned> length;  // default: the text's length and its terminator
  };
  explicit TableVersionBlock(std::map<std::string, Value> values) : m_values(std::move(values)) {}
  bool QueryValue(const std::string& path, const char** value, unsigned* length) const override {
    auto it = m_values.find(path.substr(path.rfind('\\') + 1));
    if (path.rfind("\\StringFileInfo\\040904B0\\", 0) != 0 || it == m_values.end()) return false;
    *value = it->second.text;
    *length = it->second.length ? *it->second.length : static_cast<unsigned>(std::strlen(it->second.text) + 1);
    return true;
  }

 private:
  std::map<std::string, Value> m_values;
};

std::map<int, std::string> Texts(const IVersionBlock* block) {
  std::map<int, std::string> m;
  for (const auto& [id, text] : ReadAboutTexts(block)) m[id] = text;
  return m;
}

}  // namespace

TEST(AboutTexts, WithoutABlockEveryLineKeepsItsTemplateText) {
  const std::map<int, std::string> expected = {{IDC_APP_DESCRIPTION, "Application ???"},
                                               {IDC_FILE_VERSION, "Version ???"},
                                               {IDC_PRODUCT_VERSION, "Product Version ???"},
                                               {IDC_DATE, "Date ???"},
                                               {IDC_COPYRIGHT, "Copyright ???"},
                                               {IDC_LEGAL, "Legal ???"}};
  EXPECT_EQ(expected, Texts(nullptr));
  EXPECT_EQ(expected,
            Texts(std::make_unique<TableVersionBlock>(std::map<std::string, TableVersionBlock::Value>{}).get()));
}

TEST(AboutTexts, TheProgramsBlock) {
  const auto t = Texts(&GetProgramVersionBlock());
  EXPECT_EQ("Software and Calibration Update Utility Author", t.at(IDC_APP_DESCRIPTION));
  EXPECT_EQ("8.13.7.120", t.at(IDC_FILE_VERSION));
  EXPECT_EQ("2010aBETA5", t.at(IDC_PRODUCT_VERSION));
  EXPECT_EQ("Brevanta Controller Upgrade Author", t.at(IDC_DATE));
  EXPECT_EQ("Copyright (C) 2010 Brevanta", t.at(IDC_COPYRIGHT));
  EXPECT_EQ("Legal ???", t.at(IDC_LEGAL));
}

TEST(AboutTexts, EachKeyStandsByItself) {
  using V = TableVersionBlock::Value;
  struct Case {
    const char* what;
    std::map<std::string, V> block;
    int control;
    const char* expected;
  } cases[] = {
      {"company without legal copyright", {{"CompanyName", V{"Brevanta", {}}}}, IDC_COPYRIGHT, "Brevanta"},
      {"legal copyright without company", {{"LegalCopyright", V{"(C) 2010", {}}}}, IDC_COPYRIGHT, "Copyright ???"},
      {"both joined without separator",
       {{"LegalCopyright", V{"(C)", {}}}, {"CompanyName", V{"Brevanta", {}}}},
       IDC_COPYRIGHT,
       "(C)Brevanta"},
      {"length 0 keeps the template", {{"FileVersion", V{"1.0", 0u}}}, IDC_FILE_VERSION, "Version ???"},
      {"null value keeps the template", {{"FileVersion", V{nullptr, 4u}}}, IDC_FILE_VERSION, "Version ???"},
      {"comments go to the date line", {{"Comments", V{"Built today", {}}}}, IDC_DATE, "Built today"},
      {"trademarks go to the legal line", {{"LegalTrademarks", V{"TM", {}}}}, IDC_LEGAL, "TM"},
      {"a missing key leaves the others", {{"FileDescription", V{"Tool", {}}}}, IDC_FILE_VERSION, "Version ???"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TableVersionBlock block(c.block);
    EXPECT_EQ(c.expected, Texts(&block).at(c.control));
  }
}

// The profile file as the toolkit's own configuration class wrote and read it: what users have
// is read right, and what the program writes now the toolkit reads back the same.
TEST(ProfileFile, TheToolkitsConfigurationAndTheStoreReadEachOther) {
  wxInitializer toolkit;
  ASSERT_TRUE(toolkit.IsOk());
  char folder[] = "/tmp/tessary-profile-XXXXXX";
  ASSERT_NE(nullptr, ::mkdtemp(folder));
  const std::string path = std::string(folder) + "/TessaryAuthor.conf";
  const struct {
    const char *section, *entry, *value;
  } table[] = {
      {"Recent File List", "file1", "/home/u/d\xc3\xa9j\xc3\xa0 vu/a b.rvq"},
      {"Recent File List", "file2", ""},
      {"Preferences", "UpdatePath", "  leading spaces"},
      {"Preferences", "SourceCalPath", "trailing spaces  "},
      {"Preferences", "AlwaysUseSourceCalFolder", "1"},
      {"Texts", "quotes", "\"quoted\" and \"more\""},
      {"Texts", "inner quote", "mid \"q\" end"},
      {"Texts", "escapes", "back\\slash\ttab\nnew line\rreturn"},
      {"Texts", "comment signs", "#hash ;semicolon"},
      {"Texts", "a=b [c] ;d #e", "name with what the file uses"},
      {"Texts", "caf\xc3\xa9 \xe2\x82\xac", "\xe6\x97\xa5\xe6\x9c\xac"},
      {"Texts", "tab\tin name", "v"},
      {"Texts", "lone quote", "\""},
      {"Gr [x] \xc3\xa9", "k", "g"},
      {"CommandBars", "Keys", "57600=Ctrl+N\t57601=Ctrl+O"},
      {"CTargetListCtrl_TSA", "Columns", "120,80"},
      {"A/B", "nested", "deep"},
  };
  const auto key = [](const auto& e) {
    return "/" + wxString::FromUTF8(e.section) + "/" + wxString::FromUTF8(e.entry);
  };
  {
    wxFileConfig written(wxString(), wxString(), wxString::FromUTF8(path), wxString(), wxCONFIG_USE_LOCAL_FILE);
    for (const auto& e : table) ASSERT_TRUE(written.Write(key(e), wxString::FromUTF8(e.value)));
  }
  const CProfile profile(path);
  for (const auto& e : table)
    EXPECT_EQ(e.value, profile.GetProfileString(e.section, e.entry, "<none>")) << e.section << " / " << e.entry;

  std::filesystem::remove(path);
  CProfile store(path);
  for (const auto& e : table) ASSERT_TRUE(store.WriteProfileString(e.section, e.entry, e.value)) << e.entry;
  {
    wxFileConfig read(wxString(), wxString(), wxString::FromUTF8(path), wxString(), wxCONFIG_USE_LOCAL_FILE);
    for (const auto& e : table) {
      wxString v;
      EXPECT_TRUE(read.Read(key(e), &v)) << e.section << " / " << e.entry;
      EXPECT_EQ(e.value, v.utf8_string()) << e.section << " / " << e.entry;
    }
  }
  std::filesystem::remove_all(folder);
}
