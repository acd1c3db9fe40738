#include "app/blank_view.h"

#include <wx/panel.h>
#include <wx/sizer.h>

wxIMPLEMENT_DYNAMIC_CLASS(CBlankView, wxView);

bool CBlankView::OnCreate(wxDocument*, long) {
  wxWindow* frame = GetFrame();
  if (!frame) return false;
  auto* sizer = new wxBoxSizer(wxVERTICAL);
  sizer->Add(new wxPanel(frame), 1, wxEXPAND);
  frame->SetSizer(sizer);
  frame->Layout();
  return true;
}
