#include "app/wx_ui_services.h"

#include <wx/app.h>
#include <wx/artprov.h>
#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/sizer.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>
#include <wx/utils.h>

#include <gtk/gtk.h>

#include "common/dialog_services.h"
#include "common/text_conv.h"

namespace {

// The program's message box: the icon that the message asks for beside its text, and the
// buttons of its type. The toolkit's own box on GTK 3 shows no icon.
class CMessageBoxDlg : public wxDialog {
 public:
  CMessageBoxDlg(wxWindow* parent, const wxString& text, unsigned style)
      : wxDialog(parent, wxID_ANY, "TessaryAuthor", wxDefaultPosition, wxDefaultSize, wxDEFAULT_DIALOG_STYLE) {
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    const wxArtID icon = IconFor(style);
    if (!icon.empty()) {
      const wxBitmap bitmap = wxArtProvider::GetBitmap(icon, wxART_MESSAGE_BOX);
      if (bitmap.IsOk()) row->Add(new wxStaticBitmap(this, wxID_ANY, bitmap), 0, wxRIGHT, FromDIP(12));
    }
    row->Add(new wxStaticText(this, wxID_ANY, text), 1, wxALIGN_CENTER_VERTICAL);

    long buttons = wxOK;
    switch (style & MB_TYPEMASK) {
      case MB_OKCANCEL: buttons = wxOK | wxCANCEL; break;
      case MB_YESNO: buttons = wxYES_NO; break;
      case MB_YESNOCANCEL: buttons = wxYES_NO | wxCANCEL; break;
      default: break;
    }
    auto* top = new wxBoxSizer(wxVERTICAL);
    top->Add(row, 1, wxEXPAND | wxALL, FromDIP(12));
    if (wxSizer* b = CreateSeparatedButtonSizer(buttons))
      top->Add(b, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, FromDIP(12));
    SetSizerAndFit(top);
    // The second button (No of Yes/No, Cancel of OK/Cancel) as the default: Return answers it.
    if (style & MB_DEFBUTTON2)
      if (auto* second = wxDynamicCast(FindWindow(buttons & wxNO ? wxID_NO : wxID_CANCEL), wxButton)) {
        second->SetDefault();
        second->SetFocus();
      }
    // Yes and No end the box as OK and Cancel do. Escape and the close box give Cancel where
    // there is one, else No, as the toolkit's own questions do; a box with OK alone ends with OK.
    for (int id : {wxID_YES, wxID_NO})
      Bind(
          wxEVT_BUTTON, [this, id](wxCommandEvent&) { EndModal(id); }, id);
    SetEscapeId(buttons & wxCANCEL ? wxID_CANCEL : buttons & wxNO ? wxID_NO : wxID_OK);
    if (buttons & wxYES) SetAffirmativeId(wxID_YES);
    // A screen reader (and the tests that read the window) should hear an alert, as the
    // toolkit's own message boxes are; a plain dialog window is announced as a frame.
    if (AtkObject* accessible = gtk_widget_get_accessible(GetHandle())) atk_object_set_role(accessible, ATK_ROLE_ALERT);
    // Before the main window shows (a document named at start-up), on the screen.
    if (parent && parent->IsShown())
      CentreOnParent();
    else
      CentreOnScreen();
  }

 private:
  static wxArtID IconFor(unsigned style) {
    switch (style & 0xF0) {
      case MB_ICONERROR: return wxART_ERROR;
      case MB_ICONQUESTION: return wxART_QUESTION;
      case MB_ICONEXCLAMATION: return wxART_WARNING;
      case MB_ICONINFORMATION: return wxART_INFORMATION;
      default: return wxArtID();
    }
  }
};

}  // namespace

int CWxUiServices::MessageBox(const std::string& text, unsigned style) {
  CMessageBoxDlg dlg(wxTheApp ? wxTheApp->GetTopWindow() : nullptr, FromMessageText(text), style);
  switch (GetDialogServices().ShowModal(dlg)) {
    case wxID_YES: return IDYES;
    case wxID_NO: return IDNO;
    case wxID_CANCEL: return IDCANCEL;
    default: return IDOK;
  }
}

void CWxUiServices::BeginWaitCursor() { wxBeginBusyCursor(); }
void CWxUiServices::EndWaitCursor() { wxEndBusyCursor(); }
