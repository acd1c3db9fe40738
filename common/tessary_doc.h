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
  // Asks "Save changes to ...?" for a modified document; false when the user cancelled.
  bool OnSaveModified() override;
  bool SaveAs() override;

 protected:
  bool DoSaveDocument(const wxString& file) override;
  bool DoOpenDocument(const wxString& file) override;

 private:
  wxDECLARE_DYNAMIC_CLASS(CTessaryAuthorDoc);
};
