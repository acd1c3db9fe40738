#include "common/tessary_doc.h"

#include <wx/filename.h>

#include "common/dialog_services.h"
#include "common/text_conv.h"
#include "common/update_document_format.h"
#include "platform/string_table.h"
#include "platform/text.h"
#include "platform/ui_services.h"

wxIMPLEMENT_DYNAMIC_CLASS(CTessaryAuthorDoc, wxDocument);

namespace {
enum : unsigned { IDS_ASK_TO_SAVE = 2006, IDS_ASK_TO_REPLACE = 2009 };
}

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
    wxString title = GetUserReadableName();
    if (views.size() > 1) title << ":" << n;
    if (IsModified()) title += "*";  // as the toolkit's views mark a changed document
    if (frame->GetLabel() != title) frame->SetLabel(title);
  }
}

bool CTessaryAuthorDoc::OnSaveModified() {
  if (!IsModified()) return true;
  const std::string name = ToSystemText(GetUserReadableName());
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

  FileDialogRequest request;
  request.parent = GetDocumentWindow();
  request.title = "Save As";
  request.save = true;
  request.filter = FileDialogFilter(*docTemplate);
  const wxFileName current(GetFilename());
  request.directory = GetFilename().empty() || !GetDocumentSaved() ? GetDocumentManager()->GetLastDirectory()
                                                                   : current.GetPath();
  request.fileName = GetDocumentSaved() ? current.GetFullName() : GetUserReadableName() + "." + ext;

  wxArrayString paths;
  if (!GetDialogServices().ChooseFiles(request, paths) || paths.empty()) return false;
  wxFileName chosen(paths[0]);
  if (!chosen.HasExt()) chosen.SetExt(ext);
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
