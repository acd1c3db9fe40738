// The update document: its members (CUpdateDocumentData) under the toolkit's document handling.
// Saving and loading use the update document file; prompts and file dialogs go through the
// message-box and dialog services.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <wx/docview.h>

#include "document/update_document_data.h"

// What a view changed, so that the document's other views show it too.
class CDocChange : public wxObject {
 public:
  enum What { upgrade, image, actions, comments, targetAdded, targetRemoved };
  explicit CDocChange(What what, CTargetObj* target = nullptr) : m_what(what), m_target(target) {}
  What m_what;
  CTargetObj* m_target;  // the target added or removed
};

enum class PostUpgradeAction { clearRuntime, clearFaultHistory, resetBreakin };

class CTessaryAuthorDoc : public wxDocument, public CUpdateDocumentData {
 public:
  CTessaryAuthorDoc() = default;
  ~CTessaryAuthorDoc() override = default;

  // The class record for the document template.
  static wxClassInfo* GetThisClass() { return wxCLASSINFO(CTessaryAuthorDoc); }

  void SetModifiedFlag(bool modified = true) { Modify(modified); }

  // Every change a view makes goes through one of these: each marks the document modified and
  // tells the other views (sender is the view that made the change and shows it already).
  void SetUpgrade(wxView* sender, std::string calibrationID, std::string softwareID, uint32_t size,
                  std::string programData);
  void SetImage(wxView* sender, std::unique_ptr<uint8_t[]> data, int32_t size);
  void SetAction(wxView* sender, PostUpgradeAction action, bool on);
  void SetComments(wxView* sender, std::string comments);
  // Appends target and returns it.
  CTargetObj* AddTarget(wxView* sender, std::unique_ptr<CTargetObj> target);
  // Removes and deletes target; false (and nothing changed) when the document does not hold it.
  bool RemoveTarget(wxView* sender, const CTargetObj* target);

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
