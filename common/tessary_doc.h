// The update document: its members (CUpdateDocumentData) under the toolkit's document handling.
// Saving and loading use the update document file; prompts and file dialogs go through the
// message-box and dialog services.
#pragma once

#include <string>

#include <wx/docview.h>

#include "common/update_document_data.h"

class CTessaryAuthorDoc : public wxDocument, public CUpdateDocumentData {
 public:
  CTessaryAuthorDoc() = default;
  ~CTessaryAuthorDoc() override = default;

  // The class record for the document template.
  static wxClassInfo* GetThisClass() { return wxCLASSINFO(CTessaryAuthorDoc); }

  void SetModifiedFlag(bool modified = true) { Modify(modified); }

  // The filter of the Open and Save As dialogs for the template's files.
  static std::string FileDialogFilter(const wxDocTemplate& docTemplate);

  bool DeleteContents() override;
  // A document that is opened gets its window only once it has been read, so that nothing shows
  // for a file that does not open.
  bool OnCreate(const wxString& path, long flags) override;
  bool OnOpenDocument(const wxString& file) override;
  void OnChangedViewList() override;
  void Modify(bool modified) override;
  // Titles each window of the document: its name, numbered ("name:1", "name:2") while it has
  // more than one window.
  void UpdateFrameTitles();
  // Asks "Save changes to ...?" for a modified document; false when the user cancelled.
  bool OnSaveModified() override;
  bool SaveAs() override;

 protected:
  bool DoSaveDocument(const wxString& file) override;
  bool DoOpenDocument(const wxString& file) override;

 private:
  long m_viewFlags = 0;
  bool m_viewPending = false;  // opened: the window waits for the file to be read

  wxDECLARE_DYNAMIC_CLASS(CTessaryAuthorDoc);
};
