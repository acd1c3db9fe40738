// The view of a document window until the update form takes its place: an empty panel.
#pragma once

#include <wx/docview.h>

class CBlankView : public wxView {
 public:
  bool OnCreate(wxDocument* doc, long flags) override;
  void OnDraw(wxDC*) override {}

 private:
  wxDECLARE_DYNAMIC_CLASS(CBlankView);
};
