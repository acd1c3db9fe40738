#include "common/dialog_services.h"

#include <wx/dialog.h>
#include <wx/dirdlg.h>
#include <wx/filedlg.h>

#include "common/text_conv.h"

namespace {

class WxDialogs final : public IDialogServices {
 public:
  bool ChooseFiles(const FileDialogRequest& r, wxArrayString& paths) override {
    long style = r.save ? (wxFD_SAVE | wxFD_OVERWRITE_PROMPT) : (wxFD_OPEN | wxFD_FILE_MUST_EXIST);
    if (r.multiple && !r.save) style |= wxFD_MULTIPLE;
    // Given to the dialog, a proposed name without an extension would get the one of the filter's
    // first pattern: a Save dialog gets the name as it is once it is made.
    const bool nameAsGiven = r.save && !r.fileName.empty();
    wxFileDialog dlg(r.parent, r.title, r.directory, nameAsGiven ? wxString() : r.fileName, ToWxFilter(r.filter), style);
    if (nameAsGiven) dlg.SetFilename(r.fileName);
    if (dlg.ShowModal() != wxID_OK) return false;
    paths.clear();
    if (r.multiple && !r.save)
      dlg.GetPaths(paths);
    else
      paths.push_back(dlg.GetPath());
    return !paths.empty();
  }
  bool ChooseFolder(wxWindow* parent, const wxString& title, const wxString& start, wxString& folder) override {
    wxDirDialog dlg(parent, title, start, wxDD_DEFAULT_STYLE | wxDD_DIR_MUST_EXIST);
    if (dlg.ShowModal() != wxID_OK) return false;
    folder = dlg.GetPath();
    return true;
  }
  int ShowModal(wxDialog& dialog) override { return dialog.ShowModal(); }
};

WxDialogs g_wxDialogs;
IDialogServices* g_dialogs = &g_wxDialogs;

}  // namespace

void SetDialogServices(IDialogServices* services) { g_dialogs = services ? services : &g_wxDialogs; }
IDialogServices& GetDialogServices() { return *g_dialogs; }

namespace {

// GTK matches a pattern's letters in their case; the system's patterns match either case. A
// pattern that has bracket sets of its own is left as it is.
wxString AnyCase(const wxString& pattern) {
  if (pattern.find('[') != wxString::npos) return pattern;
  wxString any;
  for (const wxUniChar c : pattern) {
    const wxString lower = wxString(c).Lower(), upper = wxString(c).Upper();
    any += lower == upper ? lower : "[" + lower + upper + "]";
  }
  return any;
}

}  // namespace

wxString ToWxFilter(const std::string& filter) {
  std::string f = filter;
  while (!f.empty() && f.back() == '|') f.pop_back();
  wxArrayString parts = wxSplit(FromSystemText(f), '|', '\0');
  for (size_t i = 1; i < parts.size(); i += 2) {
    wxArrayString patterns = wxSplit(parts[i], ';', '\0');
    for (wxString& pattern : patterns)
      // GTK matches "*.*" only against names with a dot; the system means every file by it.
      pattern = pattern == "*.*" ? wxString("*") : AnyCase(pattern);
    parts[i] = wxJoin(patterns, ';', '\0');
  }
  return wxJoin(parts, '|', '\0');
}
