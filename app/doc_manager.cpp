#include "app/doc_manager.h"

#include <memory>

#include <wx/app.h>
#include <wx/filehistory.h>
#include <wx/filename.h>

#include "common/bind_command.h"
#include "common/command_ids.h"
#include "common/dialog_services.h"
#include "common/tessary_doc.h"
#include "common/text_conv.h"
#include "platform/app_settings.h"
#include "platform/profile.h"
#include "platform/string_table.h"
#include "platform/text.h"
#include "platform/ui_services.h"
#include "res/app_ids.h"
#include "res/string_ids.h"

namespace {
constexpr unsigned kRecentFiles = 4;

// The recent files as the menus show them: set from the profile's list as a whole.
class CRecentFileList : public wxFileHistory {
 public:
  using wxFileHistory::wxFileHistory;

  void SetFiles(const std::vector<std::string>& files) {
    m_fileHistory.clear();
    for (const std::string& f : files) m_fileHistory.push_back(FromSystemPath(f));
  }
};

}  // namespace

// Initialised here rather than by the base, so that the recent-file list is ours (four entries).
CTessaryDocManager::CTessaryDocManager() : wxDocManager(0, false) {
  Initialize();
  BindCommand(*this, &wxDocManager::OnFileNew, this, ID_FILE_NEW);
  BindCommand(*this, &wxDocManager::OnFileOpen, this, ID_FILE_OPEN);
  BindCommand(*this, &wxDocManager::OnFileClose, this, ID_FILE_CLOSE);
  BindCommand(*this, &wxDocManager::OnFileSave, this, ID_FILE_SAVE);
  BindCommand(*this, &wxDocManager::OnFileSaveAs, this, ID_FILE_SAVE_AS);
  BindCommandUpdate(*this, &wxDocManager::OnUpdateFileNew, this, ID_FILE_NEW);
  BindCommandUpdate(*this, &wxDocManager::OnUpdateFileOpen, this, ID_FILE_OPEN);
  BindCommandUpdate(*this, &wxDocManager::OnUpdateDisableIfNoDoc, this, ID_FILE_CLOSE);
  BindCommandUpdate(*this, &wxDocManager::OnUpdateFileSave, this, ID_FILE_SAVE);
  BindCommandUpdate(*this, &wxDocManager::OnUpdateFileSaveAs, this, ID_FILE_SAVE_AS);
  BindCommand(*this, &CTessaryDocManager::OnRecentFile, this, ID_FILE_MRU_FILE1, ID_FILE_MRU_LAST);
  BindCommandUpdate(*this, &CTessaryDocManager::OnUpdateRecentFile, this, ID_FILE_MRU_FILE1, ID_FILE_MRU_LAST);
}

wxString CTessaryDocManager::MakeNewDocumentName() {
  wxString base = "Varnix";
  if (!m_templates.empty()) base = static_cast<wxDocTemplate*>(m_templates.GetFirst()->GetData())->GetDocumentName();
  return wxString::Format("%s%d", base, m_defaultDocumentNameCounter++);
}

wxFileHistory* CTessaryDocManager::OnCreateFileHistory() {
  return new CRecentFileList(kRecentFiles, WxId(ID_FILE_MRU_FILE1));
}

void CTessaryDocManager::AddFileToHistory(const wxString& file) {
  // Taken before the toolkit changes the list in its own way.
  const std::vector<std::string> shown = ShownRecentFiles();
  // The desktop's own recent files get it from the toolkit.
  wxDocManager::AddFileToHistory(file);
  const std::string path = ToSystemPath(file);
  ChangeRecentFiles(shown,
                    [&](const std::vector<std::string>& files) { return WithRecentFile(files, path, kRecentFiles); });
}

void CTessaryDocManager::RemoveFileFromHistory(size_t i) {
  const std::vector<std::string> shown = ShownRecentFiles();
  if (i >= shown.size()) return;
  const std::string path = shown[i];
  ChangeRecentFiles(shown, [&](const std::vector<std::string>& files) { return WithoutRecentFile(files, path); });
}

std::vector<std::string> CTessaryDocManager::ShownRecentFiles() const {
  // The names convert both ways without loss, so the list keeps the file system's bytes.
  std::vector<std::string> files;
  for (size_t i = 0; i < GetHistoryFilesCount(); ++i) files.push_back(ToSystemPath(GetHistoryFile(i)));
  return files;
}

void CTessaryDocManager::ChangeRecentFiles(
    const std::vector<std::string>& shown,
    const std::function<std::vector<std::string>(const std::vector<std::string>&)>& change) {
  std::vector<std::string> files;
  bool merged = false;
  if (CProfile* profile = GetAppProfile()) {
    const bool written = profile->Edit([&](ProfileContents& contents) {
      const std::vector<std::string> stored = ReadRecentFiles(contents, kRecentFiles);
      files = change(stored);
      merged = true;
      m_storedRecentFiles = stored;
      WriteRecentFiles(contents, files, kRecentFiles);
      return true;
    });
    if (written) m_storedRecentFiles = files;
  }
  // Without a profile, or one that could not be read now, the list of this run.
  if (!merged) files = change(shown);
  ShowRecentFiles(files);
}

void CTessaryDocManager::LoadRecentFiles() {
  const CProfile* profile = GetAppProfile();
  if (!profile) return;
  const std::vector<std::string> stored = ReadRecentFiles(profile->Read(), kRecentFiles);
  if (stored == m_storedRecentFiles) return;
  m_storedRecentFiles = stored;
  if (ShownRecentFiles() != stored) ShowRecentFiles(stored);
}

void CTessaryDocManager::ShowRecentFiles(const std::vector<std::string>& files) {
  if (auto* list = static_cast<CRecentFileList*>(GetFileHistory())) list->SetFiles(files);
  NotifyHistoryChanged();
}

void CTessaryDocManager::NotifyHistoryChanged() {
  if (m_onHistoryChanged) m_onHistoryChanged();
}

wxDocTemplate* CTessaryDocManager::SelectDocumentPath(wxDocTemplate** templates, int noTemplates, wxString& path, long,
                                                      bool save) {
  if (noTemplates < 1) return nullptr;
  wxDocTemplate* t = templates[0];
  wxWindow* parent = wxTheApp->GetTopWindow();
  const std::string filter = CTessaryAuthorDoc::FileDialogFilter(*t);
  const FileDialogRequest request = save ? FileDialogRequest::SaveAs(parent, filter, GetLastDirectory())
                                         : FileDialogRequest::Open(parent, filter, GetLastDirectory());
  wxArrayString paths;
  if (!GetDialogServices().ChooseFiles(request, paths) || paths.empty()) return nullptr;
  path = paths[0];
  SetLastDirectory(wxFileName(path).GetPath());
  // The program has one kind of document: every file is offered to it, whatever its extension.
  return t;
}

void CTessaryDocManager::OpenRecentFile(unsigned n) {
  if (n >= GetHistoryFilesCount()) return;
  const wxString file = GetHistoryFile(n);
  if (wxFileName::FileExists(file))
    CreateDocument(file, 0);
  else
    OnMRUFileNotExist(n, file);
}

void CTessaryDocManager::OnMRUFileNotExist(unsigned n, const wxString& filename) {
  AfxMessageBox(tessary::Format(LoadResString(IDS_RECENT_FILE_GONE).c_str(), ToSystemPath(filename).c_str()),
                MB_OK | MB_ICONEXCLAMATION);
  RemoveFileFromHistory(n);
}

void CTessaryDocManager::OnRecentFile(wxCommandEvent& event) {
  OpenRecentFile(static_cast<unsigned>(SystemId(event.GetId()) - ID_FILE_MRU_FILE1));
}

void CTessaryDocManager::OnUpdateRecentFile(wxUpdateUIEvent& event) {
  event.Enable(static_cast<size_t>(SystemId(event.GetId()) - ID_FILE_MRU_FILE1) < GetHistoryFilesCount());
}

// ---------------------------------------------------------------- CTessaryDocTemplate

CTessaryDocTemplate::CTessaryDocTemplate(wxDocManager* manager, ViewFrameFactory makeFrame, const wxString& description,
                                         const wxString& filter, const wxString& ext, const wxString& docTypeName,
                                         wxClassInfo* docClassInfo, wxClassInfo* viewClassInfo)
    : wxDocTemplate(manager, description, filter, wxString(), ext, docTypeName, docTypeName, docClassInfo,
                    viewClassInfo),
      m_makeFrame(std::move(makeFrame)) {}

wxView* CTessaryDocTemplate::CreateView(wxDocument* doc, long flags) {
  std::unique_ptr<wxView> view(DoCreateView());
  if (!view || !m_makeFrame) return nullptr;
  view->SetDocument(doc);
  // The frame ties itself to the view; deleting the view on failure also destroys the frame.
  m_makeFrame(doc, view.get());
  if (!view->OnCreate(doc, flags)) return nullptr;
  if (auto* d = wxDynamicCast(doc, CTessaryAuthorDoc)) d->UpdateFrameTitles();
  return view.release();
}
