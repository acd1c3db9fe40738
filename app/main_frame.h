// The main window: a frame with tabbed document windows, the menu bar, the "Standard" toolbar,
// the status bar, and their layout and the window's placement kept in the profile.
#pragma once

#include <functional>

#include <wx/frame.h>  // before the tab frames, whose header needs the build settings

#include <wx/aui/tabmdi.h>
#include <wx/docview.h>
#include <wx/iconbndl.h>

#include "platform/command_bars.h"
#include "platform/window_placement.h"

using CMainFrameBase = wxDocParentFrameAny<wxAuiMDIParentFrame>;

class CMainFrame : public CMainFrameBase {
 public:
  CMainFrame();
  ~CMainFrame() override;

  // Makes the window with its bars; false when it cannot be made.
  bool Create(wxDocManager* manager);
  // Shows the window at its saved placement and show state; showCmd, the process's own show
  // command, gives way to the saved one. The result is that of showing the window.
  bool ShowWithSavedPosition(int showCmd);

  // A new menu bar for a document window (menu 129).
  wxMenuBar* CreateDocumentMenuBar();
  const wxIconBundle& GetDocumentIcons() const { return m_docIcons; }
  // The image of a command in the bars (toolbars 128 and 129), e.g. for a popup menu's item.
  wxBitmap GetCommandBitmap(int command) const;

  const CommandBarsState& GetCommandBarsState() const { return m_state; }
  void SetCommandBarsState(const CommandBarsState& state);
  // The placement the window has now, as the profile would store it.
  WindowPlacement GetPlacement() const;

  // The document handling is going away before the window: the window stops routing to it.
  void ReleaseDocManager() { m_docManager = nullptr; }

  // Shows the recent files in every File menu.
  void RefreshRecentFiles();

  void OnCustomize(wxCommandEvent& event);
  void OnPreferences(wxCommandEvent& event);

 private:
  void OnClose(wxCloseEvent& event);
  void OnActivate(wxActivateEvent& event);
  void OnIdle(wxIdleEvent& event);
  void OnSizeOrMove(wxEvent& event);
  void OnExit(wxCommandEvent& event);
  void OnViewToolbar(wxCommandEvent& event);
  void OnViewStatusBar(wxCommandEvent& event);
  void OnUpdateViewToolbar(wxUpdateUIEvent& event);
  void OnUpdateViewStatusBar(wxUpdateUIEvent& event);
  void OnWindowCommand(wxCommandEvent& event);
  void OnUpdateWindowCommand(wxUpdateUIEvent& event);
  void OnMenuButton(wxCommandEvent& event);
  void OnUpdateNoHandler(wxUpdateUIEvent& event);

  wxMenuBar* BuildMenuBar(unsigned menuId);
  wxMenu* BuildPopup(unsigned menuId, std::size_t popupIndex, wxString* title = nullptr);
  void FillRecentFiles(wxMenuBar* bar);
  void UpdateMenuLabels(wxMenuBar* bar);
  void ForEachMenuBar(const std::function<void(wxMenuBar*)>& f);
  void BuildToolbar();
  // The bars' own menu (Standard, Customize...), on a right click anywhere on the menu bar or
  // the toolbar.
  void ShowBarsMenu();
  void WatchBarsRightClicks();
  static void OnRightPress(void* gesture, int presses, double x, double y, void* self);
  void ApplyKeys();
  void UpdateLockIndicators();
  static int OnMapEvent(void* widget, void* event, void* self);

  CommandBarsState m_state;
  // What the profile had when last read or written: a close stores only what changed since,
  // so that it keeps what another copy of the program stored meanwhile.
  CommandBarsState m_storedState;
  WindowPlacement m_storedPlacement;
  WindowRect m_rectNormal;
  bool m_maximizePending = false;  // until the window is mapped at its normal size
  wxMenuBar* m_ownMenuBar = nullptr;
  wxIconBundle m_docIcons;
  wxString m_lockTexts[3];
};
