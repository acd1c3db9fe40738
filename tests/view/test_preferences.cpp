// The Preferences values: OK's rule for the folder texts, the profile section, and the dialog
// opened by command 134 on the real main window.
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/textctrl.h>

#include "common/text_conv.h"
#include "platform/profile.h"
#include "res/app_ids.h"
#include "tests/app/app_fixture.h"
#include "view/preferences_dlg.h"
#include "view/resource_menu.h"

namespace {

PreferenceValues Values(const char* update, const char* source, bool always = false) {
  PreferenceValues v;
  v.m_strUpdatePath = wxString::FromUTF8(update);
  v.m_strSourceCalPath = wxString::FromUTF8(source);
  v.m_bAlwaysUseSourceCalFolder = always;
  return v;
}

// A value as it is on disk, read as another copy of the program would.
std::string Stored(const char* entry) {
  return CProfile(CTessaryAuthorApp::ProfilePath().ToStdString()).GetProfileString("Preferences", entry, "<none>");
}

}  // namespace

TEST(Preferences, OkEndsFolderTextsWithASlash) {
  const struct {
    const char *update, *source, *wantUpdate, *wantSource;
  } cases[] = {
      {"/srv/updates", "/srv/cals", "/srv/updates/", "/srv/cals/"},
      {"/srv/updates/", "/srv/cals/", "/srv/updates/", "/srv/cals/"},
      // Without an update path neither text changes.
      {"", "/srv/cals", "", "/srv/cals"},
      {"/srv/updates", "", "/srv/updates/", ""},
      // A backslash is a name character here, not a separator.
      {"C:\\cals\\", "rel", "C:\\cals\\/", "rel/"},
      {" /spaced ", "/", " /spaced /", "/"},
  };
  for (const auto& c : cases) {
    PreferenceValues v = Values(c.update, c.source, true);
    NormalisePreferenceFolders(v);
    EXPECT_EQ(c.wantUpdate, v.m_strUpdatePath) << c.update << " | " << c.source;
    EXPECT_EQ(c.wantSource, v.m_strSourceCalPath) << c.update << " | " << c.source;
    EXPECT_TRUE(v.m_bAlwaysUseSourceCalFolder);
  }
}

TEST(Preferences, ProfileSectionAndEntries) {
  char folder[] = "/tmp/tessary-prefs-XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(folder));
  const std::string path = std::string(folder) + "/profile.conf";
  CProfile profile(path);
  // Absent values: empty texts and 0.
  PreferenceValues v = ReadPreferences(profile);
  EXPECT_EQ("", v.m_strUpdatePath);
  EXPECT_EQ("", v.m_strSourceCalPath);
  EXPECT_FALSE(v.m_bAlwaysUseSourceCalFolder);

  // The folder names are stored as the file system names them.
  for (bool always : {true, false}) {
    EXPECT_TRUE(WritePreferences(profile, Values("/u/", "/s/\xc3\xa9", always)));
    EXPECT_EQ("/u/", profile.GetProfileString("Preferences", "UpdatePath"));
    EXPECT_EQ(ToSystemPath(wxString::FromUTF8("/s/\xc3\xa9")),
              profile.GetProfileString("Preferences", "SourceCalPath"));
    EXPECT_EQ(always ? 1 : 0, profile.GetProfileInt("Preferences", "AlwaysUseSourceCalFolder", -1));
    v = ReadPreferences(profile);
    EXPECT_EQ("/u/", v.m_strUpdatePath);
    EXPECT_EQ(wxString::FromUTF8("/s/\xc3\xa9"), v.m_strSourceCalPath);
    EXPECT_EQ(always, v.m_bAlwaysUseSourceCalFolder);
  }
  // Any nonzero number checks the box; what is no number leaves it unchecked.
  const struct {
    const char* stored;
    bool checked;
  } flags[] = {{"7", true}, {"-1", true}, {"0", false}, {"yes", false}, {"99999999999", false}, {"", false}};
  for (const auto& f : flags) {
    profile.WriteProfileString("Preferences", "AlwaysUseSourceCalFolder", f.stored);
    EXPECT_EQ(f.checked, ReadPreferences(profile).m_bAlwaysUseSourceCalFolder) << f.stored;
  }
  std::filesystem::remove_all(folder);
}

class PreferencesGui : public AppGui {
 protected:
  struct Seen {
    wxString update, source;
    bool always = false;
  };
  // Runs command 134; the dialog, really shown, gets what act does and then the button pressed.
  Seen Run(const std::function<void(CPreferencesDlg&)>& act, int button) {
    Seen seen;
    dialogs.onModal = [&](wxDialog& d) {
      auto& dlg = dynamic_cast<CPreferencesDlg&>(d);
      dlg.CallAfter([&, button] {
        seen = {Edit(dlg, 1019)->GetValue(), Edit(dlg, 1020)->GetValue(), Check(dlg)->GetValue()};
        act(dlg);
        wxCommandEvent press(wxEVT_BUTTON, button);
        press.SetEventObject(dlg.FindWindow(button));
        dlg.FindWindow(button)->ProcessWindowEvent(press);
      });
      return d.ShowModal();
    };
    Command(ID_PREFERENCES);
    return seen;
  }
  static wxTextCtrl* Edit(wxDialog& d, int id) { return dynamic_cast<wxTextCtrl*>(d.FindWindow(id)); }
  static wxCheckBox* Check(wxDialog& d) { return dynamic_cast<wxCheckBox*>(d.FindWindow(1021)); }
  static std::function<void(CPreferencesDlg&)> Type(const char* update, const char* source, bool always) {
    return [=](CPreferencesDlg& d) {
      Edit(d, 1019)->SetValue(update);
      Edit(d, 1020)->SetValue(source);
      Check(d)->SetValue(always);
    };
  }
};

TEST_F(PreferencesGui, CommandShowsProfileValuesAndOkWritesThemNormalised) {
  ASSERT_TRUE(Start());
  const struct {
    const char *update, *source;
    bool always;
    int button;
    const char *wantUpdate, *wantSource, *wantAlways;
  } steps[] = {
      {"/srv/up", "/srv/cal", true, wxID_OK, "/srv/up/", "/srv/cal/", "1"},
      {"/srv/up/", "/srv/cal/", false, wxID_OK, "/srv/up/", "/srv/cal/", "0"},
      {"", "/srv/cal", true, wxID_OK, "", "/srv/cal", "1"},
      {"/srv/up", "", false, wxID_OK, "/srv/up/", "", "0"},
      // Cancel after edits leaves every value as it was.
      {"/other", "/other2", true, wxID_CANCEL, "/srv/up/", "", "0"},
  };
  // First use: empty fields, the box unchecked.
  Seen previous;
  for (const auto& s : steps) {
    const Seen seen = Run(Type(s.update, s.source, s.always), s.button);
    EXPECT_EQ(previous.update, seen.update) << s.update;
    EXPECT_EQ(previous.source, seen.source) << s.update;
    EXPECT_EQ(previous.always, seen.always) << s.update;
    EXPECT_EQ(s.wantUpdate, Stored("UpdatePath")) << s.update;
    EXPECT_EQ(s.wantSource, Stored("SourceCalPath")) << s.update;
    EXPECT_EQ(s.wantAlways, Stored("AlwaysUseSourceCalFolder")) << s.update;
    previous = {s.wantUpdate, s.wantSource, std::string(s.wantAlways) == "1"};
  }
  EXPECT_EQ(std::vector<wxString>(std::size(steps), "Preferences"), dialogs.modalTitles);
}

// Another copy of the program writes the profile while this one runs: the command shows what is
// on disk now, and OK changes its three values and nothing else.
TEST_F(PreferencesGui, TheCommandSeesAnotherCopysValuesAndOkKeepsThem) {
  ASSERT_TRUE(Start());
  CProfile otherCopy(CTessaryAuthorApp::ProfilePath().ToStdString());
  ASSERT_TRUE(otherCopy.WriteProfileString("Preferences", "UpdatePath", "/from/the/other/"));
  ASSERT_TRUE(otherCopy.WriteProfileInt("Preferences", "AlwaysUseSourceCalFolder", 1));
  ASSERT_TRUE(otherCopy.WriteProfileString("Recent File List", "file1", "/other.rvq"));
  const Seen seen = Run(Type("/mine", "/cals", false), wxID_OK);
  EXPECT_EQ("/from/the/other/", seen.update);
  EXPECT_TRUE(seen.always);
  EXPECT_EQ("/mine/", Stored("UpdatePath"));
  EXPECT_EQ("0", Stored("AlwaysUseSourceCalFolder"));
  ASSERT_TRUE(Stop());
  EXPECT_EQ("/other.rvq", otherCopy.GetProfileString("Recent File List", "file1"));
  EXPECT_EQ("/cals/", otherCopy.GetProfileString("Preferences", "SourceCalPath"));
}

TEST_F(PreferencesGui, CancelAtFirstUseWritesNothing) {
  ASSERT_TRUE(Start());
  Run(Type("/a", "/b", true), wxID_CANCEL);
  std::ifstream in(CTessaryAuthorApp::ProfilePath().ToStdString());
  const std::string onDisk((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(std::string::npos, onDisk.find("Preferences")) << onDisk;
  EXPECT_EQ("<none>", Stored("UpdatePath"));
}

TEST_F(PreferencesGui, BrowseButtonsChooseFoldersThroughTheServices) {
  ASSERT_TRUE(Start());
  dialogs.folders = {wxString("/picked/updates"), std::nullopt, wxString("/picked/cals")};
  Run(
      [](CPreferencesDlg& d) {
        Edit(d, 1020)->SetValue("/typed");
        std::vector<wxButton*> browse;
        for (wxWindow* w : d.GetChildren())
          if (auto* b = dynamic_cast<wxButton*>(w); b && b->GetLabel() == "...") browse.push_back(b);
        ASSERT_EQ(2u, browse.size());
        for (wxButton* b : {browse[0], browse[1], browse[1]}) {
          wxCommandEvent press(wxEVT_BUTTON, b->GetId());
          press.SetEventObject(b);
          b->ProcessWindowEvent(press);
        }
      },
      wxID_OK);
  EXPECT_EQ(
      (std::vector<wxString>{"Update Files Location", "Source Calibrations Location", "Source Calibrations Location"}),
      dialogs.folderTitles);
  // Each chooser starts at what its edit shows; a cancelled one leaves the edit alone.
  EXPECT_EQ((std::vector<wxString>{"", "/typed", "/typed"}), dialogs.folderStarts);
  EXPECT_EQ("/picked/updates/", Stored("UpdatePath"));
  EXPECT_EQ("/picked/cals/", Stored("SourceCalPath"));
}

TEST_F(PreferencesGui, PopupImagesComeFromTheMainWindow) {
  EXPECT_FALSE(GetSourcedCommandBitmap(ID_COPY_TO_CLIPBOARD).IsOk());
  ASSERT_TRUE(Start());
  const wxBitmap image = GetSourcedCommandBitmap(ID_COPY_TO_CLIPBOARD);
  ASSERT_TRUE(image.IsOk());
  EXPECT_EQ(Frame()->GetCommandBitmap(ID_COPY_TO_CLIPBOARD).GetSize(), image.GetSize());
  ASSERT_TRUE(Stop());
  EXPECT_FALSE(GetSourcedCommandBitmap(ID_COPY_TO_CLIPBOARD).IsOk());
}
