// The About box: the program's name, version lines and contact links.
#pragma once

#include <wx/dialog.h>

#include "app/version_info.h"

class wxHyperlinkCtrl;

class CAboutDlg : public wxDialog {
 public:
  // Texts come from block; nullptr stands for a program without a version block.
  explicit CAboutDlg(wxWindow* parent = nullptr, const IVersionBlock* block = &GetProgramVersionBlock());

  // The text of one of the version lines (IDC_APP_DESCRIPTION, ...).
  wxString GetLineText(int controlId) const;

 private:
  wxHyperlinkCtrl* m_linkWeb = nullptr;
  wxHyperlinkCtrl* m_linkMail = nullptr;
};
