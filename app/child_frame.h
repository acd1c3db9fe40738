// The window of one document: a tab in the main frame that holds the document's view.
#pragma once

#include <functional>

#include <wx/frame.h>  // before the tab frames, whose header needs the build settings

#include <wx/aui/tabmdi.h>
#include <wx/docview.h>
#include <wx/iconbndl.h>

using CChildFrameBase = wxDocChildFrameAny<wxAuiMDIChildFrame, wxAuiMDIParentFrame>;

class CChildFrame : public CChildFrameBase {
 public:
  // makeMenuBar gives the document menu bar, which the frame then owns.
  CChildFrame(wxDocument* doc, wxView* view, wxAuiMDIParentFrame* parent, const wxIconBundle& icons,
              const std::function<wxMenuBar*()>& makeMenuBar);

 protected:
  // The tab is a plain child window: the top-level window's realisation (window-manager hints,
  // icons, resize grip) does not apply to it.
  void GTKHandleRealized() override { wxWindow::GTKHandleRealized(); }
};
