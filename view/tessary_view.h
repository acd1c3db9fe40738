// The update form: the one view of an update document. It shows the document's members, writes
// every edit through to the document at once, and takes the upgrade, the image and the targets
// from files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <wx/docview.h>
#include <wx/panel.h>
#include <wx/scrolwin.h>

#include "view/resize_anchors.h"

class CPictureStatic;
class CTargetListCtrl;
class CTessaryAuthorDoc;
enum class PostUpgradeAction;
class CFilesDroppedEvent;
class wxCheckBox;
class wxTextCtrl;

// The form's controls.
enum FormControlId : int {
  IDC_PICTURE = 1000,
  IDC_COMMENTS = 1003,
  IDC_TARGET_LIST = 1004,
  IDC_CALIBRATION_ID = 1005,
  IDC_SOFTWARE_ID = 1006,
  IDC_SIZE = 1007,
  IDC_BROWSE_PROGRAM = 1008,
  IDC_ADD_TARGET = 1009,
  IDC_REMOVE_TARGET = 1010,
  IDC_BROWSE_IMAGE = 1011,
  IDC_CLEAR_RUNTIME = 1012,
  IDC_CLEAR_FAULT_HISTORY = 1013,
  IDC_RESET_BREAKIN = 1014,
  IDC_POST_UPGRADE_ACTIONS = 1016,
  IDC_IMAGE_GROUP = 1017,
  IDC_COMMENTS_LABEL = 1018,
};

class CTessaryAuthorView : public wxView {
 public:
  CTessaryAuthorView();
  ~CTessaryAuthorView() override;

  bool OnCreate(wxDocument* doc, long flags) override;
  void OnDraw(wxDC*) override {}
  void OnUpdate(wxView* sender, wxObject* hint = nullptr) override;
  bool OnClose(bool deleteWindow) override;

  CTessaryAuthorDoc* GetDocument() const;
  // The form: a window that scrolls when the tab is smaller than the form.
  wxScrolledWindow* GetForm() const { return m_form; }
  CTargetListCtrl* GetTargetList() const { return m_listTargets; }
  CPictureStatic* GetPicture() const { return m_picture; }

  // The data exchange: the members onto the form (false) or the form into the members (true).
  void UpdateData(bool saveAndValidate);

  // Command handlers (the buttons, check boxes and the comments edit call these).
  void OnBrowseProgrammingFile();
  void OnBrowseImage();
  void OnClearFaultHistory();
  void OnClearRuntime();
  void OnResetBreakin();
  void OnChangeComments();
  void OnAddTarget();
  void OnRemoveTarget();
  // Adds each path of a drop on the target list as a target, in order.
  void OnFilesDropped(const std::vector<std::string>& paths);
  void ShowDocumentImage();

  // The view's copies of the document's members, as the form shows them.
  bool m_bClearFaultHistory = false;
  bool m_bClearRuntime = false;
  bool m_bResetBreakin = false;
  std::string m_strCalibrationID;
  std::string m_strComments;
  uint32_t m_dwSize = 0;
  std::string m_strSoftwareID;

 protected:
  // Commands go to the target list first (its popup's "Copy To Clipboard" is its own).
  bool TryBefore(wxEvent& event) override;

 private:
  void CreateForm();
  void OnInitialUpdate();
  void Relayout();
  void OnActionClicked(PostUpgradeAction action, bool CTessaryAuthorView::*member);
  // Appends every file in order; a file that cannot be used does not stop the others, a
  // controller database that cannot be used does.
  void AddTargetsFromFiles(const std::vector<std::string>& paths);
  // False when the controller database could not be used.
  bool AddTargetFromFile(const std::string& path);
  void FillTargets();
  void RemoveRowOf(const void* target);

  wxScrolledWindow* m_form = nullptr;
  wxPanel* m_panel = nullptr;  // the form's controls, scrolled by m_form
  CPictureStatic* m_picture = nullptr;
  CTargetListCtrl* m_listTargets = nullptr;
  wxTextCtrl* m_editComments = nullptr;
  wxTextCtrl* m_editCalibrationID = nullptr;
  wxTextCtrl* m_editSoftwareID = nullptr;
  wxTextCtrl* m_editSize = nullptr;
  wxCheckBox* m_checkClearRuntime = nullptr;
  wxCheckBox* m_checkClearFaultHistory = nullptr;
  wxCheckBox* m_checkResetBreakin = nullptr;
  // What each text field showed when its member was last put there or taken from it: a field
  // that still shows it was not edited.
  wxString m_shownCalibrationID, m_shownComments, m_shownSoftwareID;
  wxSize m_formSize;
  CResizeAnchors m_anchors;
  bool m_layingOut = false;

  wxDECLARE_DYNAMIC_CLASS(CTessaryAuthorView);
};
