#include "common/tessary_doc.h"

#include <wx/filename.h>

#include "common/dialog_services.h"
#include "common/text_conv.h"
#include "document/update_document_format.h"
#include "platform/string_table.h"
#include "platform/text.h"
#include "platform/ui_services.h"
#include "res/string_ids.h"

wxIMPLEMENT_DYNAMIC_CLASS(CTessaryAuthorDoc, wxDocument);

std::string CTessaryAuthorDoc::FileDialogFilter(const wxDocTemplate& t) {
  return ToSystemText(t.GetDescription() + "|" + t.GetFileFilter()) + "|All Files (*.*)|*||";
}

bool CTessaryAuthorDoc::DeleteContents() {
  ClearContents();
  return true;
}

bool CTessaryAuthorDoc::OnCreate(const wxString& path, long flags) {
  if (flags & wxDOC_NEW) return wxDocument::OnCreate(path, flags);
  m_viewFlags = flags;
  m_viewPending = true;
  return true;
}

bool CTessaryAuthorDoc::OnOpenDocument(const wxString& file) {
  if (!wxDocument::OnOpenDocument(file)) return false;
  if (!m_viewPending) return true;
  m_viewPending = false;
  if (!wxDocument::OnCreate(file, m_viewFlags)) return false;
  UpdateAllViews();
  return true;
}

void CTessaryAuthorDoc::OnChangedViewList() {
  if (GetViews().empty()) {
    wxDocument::OnChangedViewList();  // may delete the document
    return;
  }
  UpdateFrameTitles();
}

void CTessaryAuthorDoc::Modify(bool modified) {
  wxDocument::Modify(modified);
  UpdateFrameTitles();
}

void CTessaryAuthorDoc::UpdateFrameTitles() {
  const wxList& views = GetViews();
  std::size_t n = 0;
  for (wxObject* object : views) {
    ++n;
    wxWindow* frame = static_cast<wxView*>(object)->GetFrame();
    if (!frame) continue;
    // A name that is not UTF-8 reads as its code page's characters.
    wxString title = ShownPath(GetUserReadableName());
    if (views.size() > 1) title << ":" << n;
    if (IsModified()) title += "*";  // as the toolkit's views mark a changed document
    if (frame->GetLabel() != title) frame->SetLabel(title);
  }
}

bool CTessaryAuthorDoc::OnSaveModified() {
  if (!IsModified()) return true;
  const std::string name = ToSystemPath(GetUserReadableName());
  switch (AfxMessageBox(tessary::Format(LoadResString(IDS_ASK_TO_SAVE).c_str(), name.c_str()),
                        MB_YESNOCANCEL | MB_ICONEXCLAMATION)) {
    case IDYES: return Save();
    case IDNO: Modify(false); return true;
    default: return false;
  }
}

bool CTessaryAuthorDoc::SaveAs() {
  wxDocTemplate* docTemplate = GetDocumentTemplate();
  if (!docTemplate) return false;
  const wxString ext = docTemplate->GetDefaultExtension();

  const wxFileName current(GetFilename());
  const wxString directory =
      GetFilename().empty() || !GetDocumentSaved() ? GetDocumentManager()->GetLastDirectory() : current.GetPath();
  // The name is offered without its extension: GTK selects an offered name up to its last dot, so
  // a name typed with the extension would keep the offered one after it ("doc.rvq.rvq"). A name
  // chosen without one gets it below: the document's own when the offered name is kept.
  wxFileName offered(GetDocumentSaved() ? current.GetFullName() : GetUserReadableName() + "." + ext);
  wxString offeredExt;
  if (offered.GetExt().CmpNoCase(ext) == 0) {
    offeredExt = offered.GetExt();
    offered.ClearExt();
  }
  const FileDialogRequest request =
      FileDialogRequest::SaveAs(GetDocumentWindow(), FileDialogFilter(*docTemplate), directory, offered.GetFullName());

  wxArrayString paths;
  if (!GetDialogServices().ChooseFiles(request, paths) || paths.empty()) return false;
  wxFileName chosen(paths[0]);
  if (!chosen.HasExt()) chosen.SetExt(!offeredExt.empty() && chosen.GetName() == offered.GetName() ? offeredExt : ext);
  const wxString fileName = chosen.GetFullPath();
  // The dialog asked about the name as typed; a name that got its extension only now is asked
  // about here.
  if (fileName != paths[0] && wxFileName::Exists(fileName, wxFILE_EXISTS_ANY) &&
      AfxMessageBox(tessary::Format(LoadResString(IDS_ASK_TO_REPLACE).c_str(), ToSystemPath(fileName).c_str()),
                    MB_YESNO | MB_ICONEXCLAMATION) != IDYES)
    return false;

  // A file that was not saved is not added to the recent files.
  if (!OnSaveDocument(fileName)) return false;
  SetTitle(chosen.GetFullName());
  SetFilename(fileName, true);  // the views retitle their windows
  UpdateFrameTitles();
  GetDocumentManager()->SetLastDirectory(chosen.GetPath());
  GetDocumentManager()->AddFileToHistory(fileName);
  return true;
}

bool CTessaryAuthorDoc::DoSaveDocument(const wxString& file) {
  std::string message;
  if (rvq::SaveFile(ToSystemPath(file), *this, message)) return true;
  AfxMessageBox(message, MB_OK | MB_ICONEXCLAMATION);
  return false;
}

bool CTessaryAuthorDoc::DoOpenDocument(const wxString& file) {
  std::string message;
  if (rvq::LoadFile(ToSystemPath(file), *this, message)) return true;
  AfxMessageBox(message, MB_OK | MB_ICONEXCLAMATION);
  return false;
}

// ---------------------------------------------------------------- changes made by the views

namespace {

void Changed(CTessaryAuthorDoc& doc, wxView* sender, CDocChange::What what, CTargetObj* target = nullptr) {
  doc.Modify(true);
  CDocChange hint(what, target);
  doc.UpdateAllViews(sender, &hint);
}

}  // namespace

void CTessaryAuthorDoc::SetUpgrade(wxView* sender, std::string calibrationID, std::string softwareID, uint32_t size,
                                   std::string programData) {
  m_strCalibrationID = std::move(calibrationID);
  m_strSoftwareID = std::move(softwareID);
  m_dwSize = size;
  m_strProgramData = std::move(programData);
  Changed(*this, sender, CDocChange::upgrade);
}

void CTessaryAuthorDoc::SetImage(wxView* sender, std::unique_ptr<uint8_t[]> data, int32_t size) {
  CUpdateDocumentData::SetImage(std::move(data), size);
  Changed(*this, sender, CDocChange::image);
}

void CTessaryAuthorDoc::SetAction(wxView* sender, PostUpgradeAction action, bool on) {
  switch (action) {
    case PostUpgradeAction::clearRuntime: m_bClearRuntime = on; break;
    case PostUpgradeAction::clearFaultHistory: m_bClearFaultHistory = on; break;
    case PostUpgradeAction::resetBreakin: m_bResetBreakin = on; break;
  }
  Changed(*this, sender, CDocChange::actions);
}

void CTessaryAuthorDoc::SetComments(wxView* sender, std::string comments) {
  m_strComments = std::move(comments);
  Changed(*this, sender, CDocChange::comments);
}

CTargetObj* CTessaryAuthorDoc::AddTarget(wxView* sender, std::unique_ptr<CTargetObj> target) {
  CTargetObj* added = target.get();
  m_targets.push_back(std::move(target));
  Changed(*this, sender, CDocChange::targetAdded, added);
  return added;
}

bool CTessaryAuthorDoc::RemoveTarget(wxView* sender, const CTargetObj* target) {
  for (auto it = m_targets.begin(); it != m_targets.end(); ++it) {
    if (it->get() != target) continue;
    // Deleted once the other views have dropped their rows for it.
    const std::unique_ptr<CTargetObj> removed = std::move(*it);
    m_targets.erase(it);
    Changed(*this, sender, CDocChange::targetRemoved, removed.get());
    return true;
  }
  return false;
}
