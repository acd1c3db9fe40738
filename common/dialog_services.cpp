#include "common/dialog_services.h"

#include <string>
#include <utility>
#include <vector>

#include <wx/dialog.h>
#include <wx/dirdlg.h>
#include <wx/filedlg.h>

#include <gtk/gtk.h>

#include "common/text_conv.h"
#include "platform/path.h"

namespace {

// The files a chooser returns, as the file system names them: the toolkit's own answer drops a
// name that is not UTF-8.
std::vector<std::string> ChosenFiles(wxWindow& dialog) {
  std::vector<std::string> files;
  if (!GTK_IS_FILE_CHOOSER(dialog.GetHandle())) return files;
  GSList* names = gtk_file_chooser_get_filenames(GTK_FILE_CHOOSER(dialog.GetHandle()));
  for (GSList* n = names; n; n = n->next) {
    files.emplace_back(static_cast<const char*>(n->data));
    g_free(n->data);
  }
  g_slist_free(names);
  return files;
}

class WxDialogs final : public IDialogServices {
 public:
  bool ChooseFiles(const FileDialogRequest& r, wxArrayString& paths) override {
    long style = r.save ? (wxFD_SAVE | wxFD_OVERWRITE_PROMPT) : (wxFD_OPEN | wxFD_FILE_MUST_EXIST);
    if (r.multiple && !r.save) style |= wxFD_MULTIPLE;
    // The name field holds only UTF-8: a name that is not is offered as it reads, and taken as
    // offered it is the name it stands for.
    const std::string name = ToSystemPath(r.fileName);
    const bool shownName = r.save && !IsValidUtf8(name);
    const wxString offered = shownName ? ShownPath(r.fileName) : r.fileName;
    // Given to the dialog, a proposed name without an extension would get the one of the filter's
    // first pattern: a Save dialog gets the name as it is once it is made.
    const bool nameAsGiven = r.save && !offered.empty();
    wxFileDialog dlg(r.parent, r.title, r.directory, nameAsGiven ? wxString() : offered, ToWxFilter(r.filter), style);
    if (nameAsGiven) dlg.SetFilename(offered);
    if (dlg.ShowModal() != wxID_OK) return false;
    std::vector<std::string> files = ChosenFiles(dlg);
    if (shownName && files.size() == 1 && files[0] == ToSystemPath(r.directory) + "/" + ToSystemText(offered))
      files[0] = tessary::FolderPart(files[0]) + name;
    paths.clear();
    for (const std::string& file : files) paths.push_back(FromSystemPath(file));
    return !paths.empty();
  }
  bool ChooseFolder(wxWindow* parent, const wxString& title, const wxString& start, wxString& folder) override {
    wxDirDialog dlg(parent, title, start, wxDD_DEFAULT_STYLE | wxDD_DIR_MUST_EXIST);
    if (dlg.ShowModal() != wxID_OK) return false;
    const std::vector<std::string> chosen = ChosenFiles(dlg);
    folder = chosen.empty() ? dlg.GetPath() : FromSystemPath(chosen.front());
    return !folder.empty();
  }
  int ShowModal(wxDialog& dialog) override { return dialog.ShowModal(); }
};

WxDialogs g_wxDialogs;
IDialogServices* g_dialogs = &g_wxDialogs;

}  // namespace

void SetDialogServices(IDialogServices* services) { g_dialogs = services ? services : &g_wxDialogs; }
IDialogServices& GetDialogServices() { return *g_dialogs; }

FileDialogRequest FileDialogRequest::Open(wxWindow* parent, std::string filter, wxString directory, bool multiple) {
  FileDialogRequest r;
  r.parent = parent;
  r.title = "Open";
  r.filter = std::move(filter);
  r.directory = std::move(directory);
  r.multiple = multiple;
  return r;
}

FileDialogRequest FileDialogRequest::SaveAs(wxWindow* parent, std::string filter, wxString directory,
                                            wxString fileName) {
  FileDialogRequest r;
  r.parent = parent;
  r.title = "Save As";
  r.filter = std::move(filter);
  r.directory = std::move(directory);
  r.fileName = std::move(fileName);
  r.save = true;
  return r;
}

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
