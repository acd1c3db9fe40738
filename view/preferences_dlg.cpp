#include "view/preferences_dlg.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/statbox.h>
#include <wx/textctrl.h>

#include "common/dialog_services.h"
#include "common/text_conv.h"
#include "platform/profile.h"
#include "platform/string_table.h"
#include "res/string_ids.h"
#include "view/dialog_units.h"

namespace {

// Control ids of the dialog.
enum : int {
  IDC_UPDATE_PATH = 1019,
  IDC_SOURCE_CAL_PATH = 1020,
  IDC_ALWAYS_USE_SOURCE_CAL_FOLDER = 1021,
};

void EndWithSeparator(wxString& folder) {
  if (!folder.EndsWith("/")) folder += "/";
}

}  // namespace

void NormalisePreferenceFolders(PreferenceValues& values) {
  if (values.m_strUpdatePath.empty()) return;
  EndWithSeparator(values.m_strUpdatePath);
  if (!values.m_strSourceCalPath.empty()) EndWithSeparator(values.m_strSourceCalPath);
}

PreferenceValues ReadPreferences(const CProfile& profile) {
  const std::string section = LoadResString(IDS_PREFERENCES_SECTION);
  const ProfileContents contents = profile.Read();
  const auto text = [&](unsigned entry) {
    const std::string* value = contents.Find(section, LoadResString(entry));
    return value ? FromSystemPath(*value) : wxString();
  };
  PreferenceValues values;
  values.m_strUpdatePath = text(IDS_UPDATE_PATH_ENTRY);
  values.m_strSourceCalPath = text(IDS_SOURCE_CAL_PATH_ENTRY);
  values.m_bAlwaysUseSourceCalFolder =
      contents.FindInt(section, LoadResString(IDS_ALWAYS_USE_SOURCE_CAL_FOLDER_ENTRY), 0) != 0;
  return values;
}

bool WritePreferences(CProfile& profile, const PreferenceValues& values) {
  const std::string section = LoadResString(IDS_PREFERENCES_SECTION);
  return profile.Edit([&](ProfileContents& contents) {
    return contents.Set(section, LoadResString(IDS_UPDATE_PATH_ENTRY), ToSystemPath(values.m_strUpdatePath)) &&
           contents.Set(section, LoadResString(IDS_SOURCE_CAL_PATH_ENTRY), ToSystemPath(values.m_strSourceCalPath)) &&
           contents.Set(section, LoadResString(IDS_ALWAYS_USE_SOURCE_CAL_FOLDER_ENTRY),
                        values.m_bAlwaysUseSourceCalFolder ? "1" : "0");
  });
}

CPreferencesDlg::CPreferencesDlg(wxWindow* parent)
    : wxDialog(parent, wxID_ANY, "Preferences", wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX) {
  // An edit with its browse button at the right end of the edit's place.
  const auto browseEdit = [this](int id, int x, int y, const char* title) {
    constexpr int kButtonWidth = 16;
    auto* edit = new wxTextCtrl(this, id);
    PlaceInDialogUnits(edit, x, y, 187 - kButtonWidth, 14);
    auto* browse = new wxButton(this, wxID_ANY, "...", wxDefaultPosition, wxDefaultSize, wxBU_EXACTFIT);
    PlaceInDialogUnits(browse, x + 187 - kButtonWidth, y, kButtonWidth, 14);
    browse->SetSize(wxRect(browse->GetPosition().x, edit->GetPosition().y, browse->GetSize().x, edit->GetSize().y));
    browse->SetToolTip(title);
    browse->Bind(wxEVT_BUTTON, [this, edit, title](wxCommandEvent&) { Browse(edit, title); });
    return edit;
  };
  const auto place = [](auto* w, int x, int y, int cx, int cy) {
    PlaceInDialogUnits(w, x, y, cx, cy);
    return w;
  };

  // In the template's order, which is also the tab order.
  place(new wxButton(this, wxID_OK, "OK"), 109, 116, 50, 14)->SetDefault();
  place(new wxButton(this, wxID_CANCEL, "Cancel"), 166, 116, 50, 14);
  place(new wxStaticBox(this, wxID_ANY, "Upgrade File Location"), 7, 7, 209, 47);
  m_editUpdatePath = browseEdit(IDC_UPDATE_PATH, 18, 23, kUpdatePathTitle);
  place(new wxStaticBox(this, wxID_ANY, "Source Calibration Folder"), 7, 59, 209, 47);
  m_editSourceCalPath = browseEdit(IDC_SOURCE_CAL_PATH, 18, 75, kSourceCalPathTitle);
  m_checkAlwaysUseSourceCalFolder = place(
      new wxCheckBox(this, IDC_ALWAYS_USE_SOURCE_CAL_FOLDER, "Always look in this folder first"), 18, 92, 109, 10);
  SetClientSize(ConvertDialogToPixels(wxSize(223, 137)));
  Bind(wxEVT_BUTTON, &CPreferencesDlg::OnOK, this, wxID_OK);
}

bool CPreferencesDlg::TransferDataToWindow() {
  m_editUpdatePath->ChangeValue(m_values.m_strUpdatePath);
  m_editSourceCalPath->ChangeValue(m_values.m_strSourceCalPath);
  m_checkAlwaysUseSourceCalFolder->SetValue(m_values.m_bAlwaysUseSourceCalFolder);
  return true;
}

bool CPreferencesDlg::TransferDataFromWindow() {
  m_values.m_strUpdatePath = m_editUpdatePath->GetValue();
  m_values.m_strSourceCalPath = m_editSourceCalPath->GetValue();
  m_values.m_bAlwaysUseSourceCalFolder = m_checkAlwaysUseSourceCalFolder->GetValue();
  return true;
}

void CPreferencesDlg::OnOK(wxCommandEvent&) {
  if (!Validate() || !TransferDataFromWindow()) return;
  NormalisePreferenceFolders(m_values);
  EndModal(wxID_OK);
}

void CPreferencesDlg::Browse(wxTextCtrl* edit, const wxString& title) {
  wxString folder;
  if (GetDialogServices().ChooseFolder(this, title, edit->GetValue(), folder)) edit->SetValue(folder);
}
