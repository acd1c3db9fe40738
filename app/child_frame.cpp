#include "app/child_frame.h"

#include "app/main_frame.h"

CChildFrame::CChildFrame(wxDocument* doc, wxView* view, CMainFrame* parent)
    : CChildFrameBase(doc, view, parent, wxID_ANY, doc ? doc->GetUserReadableName() : wxString()) {
  SetIcons(parent->GetDocumentIcons());
  // The document menu; the main frame's own menu comes back when the last document window closes.
  SetMenuBar(parent->CreateDocumentMenuBar());
}
