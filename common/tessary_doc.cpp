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
enum : unsigned { IDS_ASK_TO_SAVE = 2006 };
}

std::string CTessaryAuthorDoc::FileDialogFilter(const wxDocTemplate& t) {
  return ToSystemText(t.GetDescription() + "|" + t.GetFileFilter()) + "|All Files (*.*)|*||";
}

bool CTessaryAuthorDoc::DeleteContents() {
  ClearContents();
  return true;
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

  // A file that was not saved is not added to the recent files.
  if (!OnSaveDocument(fileName)) return false;
  SetTitle(chosen.GetFullName());
  SetFilename(fileName, true);  // the views retitle their windows
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
