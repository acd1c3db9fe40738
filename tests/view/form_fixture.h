// The program with one document window open, and ways to reach the form's controls.
#pragma once

#include <wx/checkbox.h>
#include <wx/textctrl.h>

#include "common/text_conv.h"
#include "res/app_ids.h"
#include "support/test_tdb.h"
#include "tests/app/app_fixture.h"
#include "view/tessary_view.h"

class FormGui : public AppGui {
 protected:
  // The samples resolve through the default database beside the tests.
  ScopedTdbPath defaultDatabase{""};

  // Starts the program and opens a new document.
  CTessaryAuthorView* StartWithNewDocument() {
    if (!Start()) return nullptr;
    Command(ID_FILE_NEW);
    return CurrentView();
  }

  static CTessaryAuthorView* CurrentView() { return wxDynamicCast(Docs()->GetCurrentView(), CTessaryAuthorView); }

  template <typename T = wxWindow>
  static T* Control(CTessaryAuthorView* view, int id) {
    return dynamic_cast<T*>(view->GetForm()->FindWindow(id));
  }
  static wxString Text(CTessaryAuthorView* view, int id) { return Control<wxTextCtrl>(view, id)->GetValue(); }
  static bool Checked(CTessaryAuthorView* view, int id) { return Control<wxCheckBox>(view, id)->GetValue(); }

  // A click of a form button or check box, as the control reports it.
  static void Click(CTessaryAuthorView* view, int id) {
    wxWindow* w = Control(view, id);
    wxCommandEvent e(dynamic_cast<wxCheckBox*>(w) ? wxEVT_CHECKBOX : wxEVT_BUTTON, id);
    if (auto* box = dynamic_cast<wxCheckBox*>(w)) {
      box->SetValue(!box->GetValue());
      e.SetInt(box->GetValue());
    }
    e.SetEventObject(w);
    w->GetEventHandler()->ProcessEvent(e);
    Pump();
  }

  // Answers the next file dialog with path and presses the button.
  void Browse(CTessaryAuthorView* view, int button, const std::string& path) {
    dialogs.files.push_back(wxString(path));
    Click(view, button);
  }
};
