// The Preferences values: OK's rule for the folder texts, the profile section, and the dialog
// opened by command 134 on the real main window.
#include <fstream>
#include <iterator>
#include <optional>

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/config.h>
#include <wx/fileconf.h>
#include <wx/sstream.h>
#include <wx/textctrl.h>

#include "res/app_ids.h"
#include "tests/app/app_fixture.h"
#include "view/preferences_dlg.h"
#include "view/resource_menu.h"

namespace {

PreferenceValues Values(const char* update, const char* source, bool always = false) {
  PreferenceValues v;
  v.m_strUpdatePath = update;
  v.m_strSourceCalPath = source;
  v.m_bAlwaysUseSourceCalFolder = always;
  return v;
}

wxString Stored(const char* entry) { return wxConfigBase::Get(false)->Read(wxString("/Preferences/") + entry, "<none>"); }

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
  wxStringInputStream empty(wxString{});
  wxFileConfig profile(empty);
  profile.SetPath("/elsewhere");  // names are absolute, whatever path the profile is at
  // Absent values: empty texts and 0.
  PreferenceValues v = ReadPreferences(profile);
  EXPECT_EQ("", v.m_strUpdatePath);
  EXPECT_EQ("", v.m_strSourceCalPath);
  EXPECT_FALSE(v.m_bAlwaysUseSourceCalFolder);

  for (bool always : {true, false}) {
    WritePreferences(profile, Values("/u/", "/s/\xc3\xa9", always));
    EXPECT_EQ("/u/", profile.Read("/Preferences/UpdatePath", wxString()));
    EXPECT_EQ(always ? 1 : 0, profile.Read("/Preferences/AlwaysUseSourceCalFolder", -1L));
    v = ReadPreferences(profile);
    EXPECT_EQ("/u/", v.m_strUpdatePath);
    EXPECT_EQ(wxString("/s/\xc3\xa9"), v.m_strSourceCalPath);
    EXPECT_EQ(always, v.m_bAlwaysUseSourceCalFolder);
  }
  // Any nonzero number checks the box.
  profile.Write("/Preferences/AlwaysUseSourceCalFolder", 7L);
  EXPECT_TRUE(ReadPreferences(profile).m_bAlwaysUseSourceCalFolder);
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

TEST_F(PreferencesGui, CancelAtFirstUseWritesNothing) {
  ASSERT_TRUE(Start());
  Run(Type("/a", "/b", true), wxID_CANCEL);
  wxConfigBase::Get(false)->Flush();
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
  EXPECT_EQ((std::vector<wxString>{"Update Files Location", "Source Calibrations Location",
                                   "Source Calibrations Location"}),
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
