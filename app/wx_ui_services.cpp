#include "app/wx_ui_services.h"

#include <wx/app.h>
#include <wx/msgdlg.h>
#include <wx/utils.h>

#include "common/text_conv.h"

int CWxUiServices::MessageBox(const std::string& text, unsigned style) {
  long wxStyle = wxCENTRE;
  switch (style & MB_TYPEMASK) {
    case MB_OKCANCEL: wxStyle |= wxOK | wxCANCEL; break;
    case MB_YESNO: wxStyle |= wxYES_NO; break;
    case MB_YESNOCANCEL: wxStyle |= wxYES_NO | wxCANCEL; break;
    default: wxStyle |= wxOK; break;
  }
  switch (style & 0xF0) {
    case MB_ICONERROR: wxStyle |= wxICON_ERROR; break;
    case MB_ICONQUESTION: wxStyle |= wxICON_QUESTION; break;
    case MB_ICONEXCLAMATION: wxStyle |= wxICON_EXCLAMATION; break;
    case MB_ICONINFORMATION: wxStyle |= wxICON_INFORMATION; break;
    default: break;
  }
  wxMessageDialog dlg(wxTheApp ? wxTheApp->GetTopWindow() : nullptr, FromSystemText(text), "TessaryAuthor", wxStyle);
  switch (dlg.ShowModal()) {
    case wxID_YES: return IDYES;
    case wxID_NO: return IDNO;
    case wxID_CANCEL: return IDCANCEL;
    default: return IDOK;
  }
}

void CWxUiServices::BeginWaitCursor() { wxBeginBusyCursor(); }
void CWxUiServices::EndWaitCursor() { wxEndBusyCursor(); }
