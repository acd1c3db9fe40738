// The Preferences dialog: the upgrade file folder, the source calibration folder and whether the
// Add dialog of the target list always starts in the latter. The values live in the profile.
#pragma once

#include <wx/dialog.h>
#include <wx/string.h>

class CProfile;
class wxCheckBox;
class wxTextCtrl;

struct PreferenceValues {
  wxString m_strUpdatePath;
  wxString m_strSourceCalPath;
  bool m_bAlwaysUseSourceCalFolder = false;
};

// What OK makes of the texts: without an update path neither changes; otherwise the update path
// and a nonempty source path end in "/".
void NormalisePreferenceFolders(PreferenceValues& values);

// The profile's section "Preferences" (names from the string table); absent values are empty / 0.
// Each call reads the profile as it is on disk now.
PreferenceValues ReadPreferences(const CProfile& profile);
// The three values, in one write; false (and the old values kept) when they could not be stored.
bool WritePreferences(CProfile& profile, const PreferenceValues& values);

class CPreferencesDlg : public wxDialog {
 public:
  explicit CPreferencesDlg(wxWindow* parent);

  // Shown by the controls when the dialog runs; after OK, what the user left there, normalised.
  PreferenceValues m_values;

  bool TransferDataToWindow() override;
  bool TransferDataFromWindow() override;

  // Titles of the folder choosers of the two browse buttons.
  static constexpr const char* kUpdatePathTitle = "Update Files Location";
  static constexpr const char* kSourceCalPathTitle = "Source Calibrations Location";

 private:
  void OnOK(wxCommandEvent& event);
  void Browse(wxTextCtrl* edit, const wxString& title);

  wxTextCtrl* m_editUpdatePath = nullptr;
  wxTextCtrl* m_editSourceCalPath = nullptr;
  wxCheckBox* m_checkAlwaysUseSourceCalFolder = nullptr;
};
