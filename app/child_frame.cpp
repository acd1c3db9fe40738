#include "app/child_frame.h"

CChildFrame::CChildFrame(wxDocument* doc, wxView* view, wxAuiMDIParentFrame* parent, const wxIconBundle& icons,
                         const std::function<wxMenuBar*()>& makeMenuBar) {
  // Made here rather than by the base's constructor, so that the realisation, which may come
  // while the window is made, already runs this class's own.
  Create(doc, view, parent, wxID_ANY, doc ? doc->GetUserReadableName() : wxString());
  SetIcons(icons);
  // The document menu; the main frame's own menu comes back when the last document window closes.
  SetMenuBar(makeMenuBar());
}
