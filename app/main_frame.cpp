#include "app/main_frame.h"

#include <algorithm>
#include <functional>
#include <optional>

#include <wx/accel.h>
#include <wx/artprov.h>
#include <wx/display.h>
#include <wx/log.h>
#include <wx/menu.h>
#include <wx/statusbr.h>
#include <wx/toolbar.h>
#include <wx/utils.h>

#include <gtk/gtk.h>

#include "app/customize_dlg.h"
#include "app/doc_manager.h"
#include "common/bind_command.h"
#include "common/command_ids.h"
#include "common/dialog_services.h"
#include "common/res_text.h"
#include "common/text_conv.h"
#include "platform/app_settings.h"
#include "platform/profile.h"
#include "res/app_ids.h"
#include "res/app_resources.h"
#include "res/string_ids.h"
#include "view/preferences_dlg.h"
#include "view/resource_menu.h"

namespace {

// Images for commands that a customised toolbar may carry beyond those of toolbar 128.
const struct {
  int command;
  const char* artId;
} kMoreArt[] = {
    {ID_FILE_CLOSE, "wxART_CLOSE"},  {ID_FILE_SAVE_AS, "wxART_FILE_SAVE_AS"}, {ID_EDIT_UNDO, "wxART_UNDO"},
    {ID_APP_EXIT, "wxART_QUIT"},     {ID_WINDOW_NEW, "wxART_NEW_DIR"},        {ID_NEXT_PANE, "wxART_GO_FORWARD"},
    {ID_PREV_PANE, "wxART_GO_BACK"}, {ID_VIEW_TOOLBAR, "wxART_LIST_VIEW"},    {ID_VIEW_STATUS_BAR, "wxART_REPORT_VIEW"},
};

wxString ArtFor(int command) {
  for (unsigned toolbarId : {unsigned{IDR_MAINFRAME}, unsigned{IDR_TESSARYAUTHORTYPE}}) {
    const res::ToolbarResource* t = res::FindToolbar(toolbarId);
    for (std::size_t i = 0; t && i < t->count; ++i)
      if (t->buttons[i].command == command && t->buttons[i].artId) return t->buttons[i].artId;
  }
  for (const auto& a : kMoreArt)
    if (a.command == command) return a.artId;
  if (IsMenuButton(command)) return wxART_GO_DOWN;
  return wxART_EXECUTABLE_FILE;
}

wxIconBundle IconsFor(unsigned id) {
  wxIconBundle icons;
  if (const res::IconResource* r = res::FindIcon(id)) {
    icons.AddIcon(wxIcon(r->xpm16));
    icons.AddIcon(wxIcon(r->xpm32));
  }
  return icons;
}

// The toolkit's form of a key text ("Alt+Back" and "Alt+Backspace" are one key); empty for a
// text that names no key, which the toolkit would also report.
std::string NormalKey(const std::string& key) {
  wxLogNull quiet;
  wxAcceleratorEntry e;
  return e.FromString(FromSystemText(key)) ? ToSystemText(e.ToString()) : std::string();
}

const int kNoHandler[] = {ID_FILE_PRINT, ID_EDIT_UNDO, ID_NEXT_PANE, ID_PREV_PANE};

const int kLockKeys[3] = {WXK_CAPITAL, WXK_NUMLOCK, WXK_SCROLL};

}  // namespace

CMainFrame::CMainFrame() = default;
CMainFrame::~CMainFrame() { SetCommandBitmapSource(nullptr); }

bool CMainFrame::Create(wxDocManager* manager) {
  if (!CMainFrameBase::Create(manager, nullptr, wxID_ANY, ResText(IDR_MAINFRAME), wxDefaultPosition, wxDefaultSize,
                              wxDEFAULT_FRAME_STYLE))
    return false;
  SetWindowMenu(nullptr);  // the document menu has its own Window menu
  SetIcons(IconsFor(IDR_MAINFRAME));
  m_docIcons = IconsFor(IDR_TESSARYAUTHORTYPE);

  // Status bar: the message pane, then the lock indicators, each as wide as its text.
  wxStatusBar* status = CreateStatusBar(static_cast<int>(res::g_StatusIndicatorCount));
  if (!status) return false;
  std::vector<int> widths;
  for (std::size_t i = 0; i < res::g_StatusIndicatorCount; ++i) {
    const unsigned id = res::g_StatusIndicators[i];
    widths.push_back(id == ID_SEPARATOR ? -1 : status->GetTextExtent(ResText(id)).x + FromDIP(12));
  }
  status->SetStatusWidths(static_cast<int>(widths.size()), widths.data());
  SetStatusText(ResText(AFX_IDS_IDLEMESSAGE), 0);

  // The saved layout applies to the bars as built from the resources.
  const CProfile* profile = GetAppProfile();
  SetCommandBarsState(profile ? ReadCommandBars(profile->Read()) : CommandBarsState::Defaults());
  m_storedState = m_state;
  if (!GetToolBar()) return false;

  m_ownMenuBar = BuildMenuBar(IDR_MAINFRAME);
  SetMenuBar(m_ownMenuBar);
  WatchBarsRightClicks();

  // Bound after the document handling's own close handler, so this one runs first.
  Bind(wxEVT_CLOSE_WINDOW, &CMainFrame::OnClose, this);
  Bind(wxEVT_ACTIVATE, &CMainFrame::OnActivate, this);
  Bind(wxEVT_IDLE, &CMainFrame::OnIdle, this);
  Bind(wxEVT_SIZE, &CMainFrame::OnSizeOrMove, this);
  Bind(wxEVT_MOVE, &CMainFrame::OnSizeOrMove, this);
  BindCommand(*this, &CMainFrame::OnExit, this, ID_APP_EXIT);
  BindCommand(*this, &CMainFrame::OnCustomize, this, ID_CUSTOMIZE);
  BindCommand(*this, &CMainFrame::OnPreferences, this, ID_PREFERENCES);
  BindCommand(*this, &CMainFrame::OnViewToolbar, this, ID_VIEW_TOOLBAR);
  BindCommand(*this, &CMainFrame::OnViewStatusBar, this, ID_VIEW_STATUS_BAR);
  BindCommandUpdate(*this, &CMainFrame::OnUpdateViewToolbar, this, ID_VIEW_TOOLBAR);
  BindCommandUpdate(*this, &CMainFrame::OnUpdateViewStatusBar, this, ID_VIEW_STATUS_BAR);
  for (int id : {ID_WINDOW_NEW, ID_WINDOW_CASCADE, ID_WINDOW_TILE_HORZ, ID_WINDOW_ARRANGE}) {
    BindCommand(*this, &CMainFrame::OnWindowCommand, this, id);
    BindCommandUpdate(*this, &CMainFrame::OnUpdateWindowCommand, this, id);
  }
  BindCommand(*this, &CMainFrame::OnMenuButton, this, kMenuButtonBase, kMenuButtonBase + 99);
  // Commands that nothing in the program handles show disabled.
  for (int id : kNoHandler) BindCommandUpdate(*this, &CMainFrame::OnUpdateNoHandler, this, id);
  // Popups of the document windows show the bars' images.
  SetCommandBitmapSource([this](int id) { return GetCommandBitmap(id); });
  return true;
}

// ---------------------------------------------------------------- menus

wxMenu* CMainFrame::BuildPopup(unsigned menuId, std::size_t popupIndex, wxString* title) {
  return BuildResourcePopup(menuId, popupIndex, title,
                            [](int id) { return id == ID_VIEW_TOOLBAR || id == ID_VIEW_STATUS_BAR; });
}

wxMenuBar* CMainFrame::BuildMenuBar(unsigned menuId) {
  auto* bar = new wxMenuBar;
  wxString title;
  for (std::size_t n = 0; wxMenu* menu = BuildPopup(menuId, n, &title); ++n) bar->Append(menu, title);
  FillRecentFiles(bar);
  UpdateMenuLabels(bar);
  return bar;
}

wxMenuBar* CMainFrame::CreateDocumentMenuBar() { return BuildMenuBar(IDR_TESSARYAUTHORTYPE); }

void CMainFrame::FillRecentFiles(wxMenuBar* bar) {
  wxMenu* file = bar && bar->GetMenuCount() ? bar->GetMenu(0) : nullptr;
  if (!file) return;
  // The recent files stand where the "Recent File" item of the resource stands.
  int at = -1;
  for (std::size_t i = 0; i < file->GetMenuItemCount();) {
    wxMenuItem* item = file->FindItemByPosition(i);
    const int id = SystemId(item->GetId());
    if (id >= ID_FILE_MRU_FILE1 && id <= ID_FILE_MRU_LAST) {
      if (at < 0) at = static_cast<int>(i);
      file->Destroy(item);
    } else {
      ++i;
    }
  }
  if (at < 0) return;
  wxDocManager* docs = GetDocumentManager();
  const size_t count = docs ? docs->GetHistoryFilesCount() : 0;
  if (count == 0) {
    file->Insert(static_cast<size_t>(at), WxId(ID_FILE_MRU_FILE1), "Recent File", CommandPrompt(ID_FILE_MRU_FILE1));
    return;
  }
  for (size_t i = 0; i < count; ++i) {
    // A name whose bytes are not UTF-8 is shown readably; choosing it opens its exact bytes.
    wxString path = ShownPath(docs->GetHistoryFile(i));
    path.Replace("&", "&&");
    const int id = ID_FILE_MRU_FILE1 + static_cast<int>(i);
    file->Insert(static_cast<size_t>(at) + i, WxId(id), wxString::Format("&%zu %s", i + 1, path), CommandPrompt(id));
  }
}

void CMainFrame::UpdateMenuLabels(wxMenuBar* bar) {
  if (!bar) return;
  for (size_t m = 0; m < bar->GetMenuCount(); ++m)
    for (wxMenuItem* item : bar->GetMenu(m)->GetMenuItems()) {
      if (item->IsSeparator() || item->IsSubMenu()) continue;
      const int id = SystemId(item->GetId());
      if (id >= ID_FILE_MRU_FILE1 && id <= ID_FILE_MRU_LAST) continue;
      wxString label = item->GetItemLabel().BeforeFirst('\t');
      const std::vector<std::string> keys = m_state.KeysFor(id);
      if (!keys.empty()) label += "\t" + FromSystemText(keys.front());
      if (label != item->GetItemLabel()) item->SetItemLabel(label);
    }
}

void CMainFrame::ForEachMenuBar(const std::function<void(wxMenuBar*)>& f) {
  if (m_ownMenuBar) f(m_ownMenuBar);
  if (wxAuiNotebook* book = GetNotebook())
    for (size_t i = 0; i < book->GetPageCount(); ++i)
      if (auto* child = wxDynamicCast(book->GetPage(i), wxAuiMDIChildFrame))
        if (wxMenuBar* bar = child->GetMenuBar()) f(bar);
}

void CMainFrame::RefreshRecentFiles() {
  ForEachMenuBar([this](wxMenuBar* bar) {
    FillRecentFiles(bar);
    UpdateMenuLabels(bar);
  });
}

// ---------------------------------------------------------------- bars

wxBitmap CMainFrame::GetCommandBitmap(int command) const {
  const int px = m_state.largeIcons ? 24 : 16;
  return wxArtProvider::GetBitmap(ArtFor(command), wxART_TOOLBAR, FromDIP(wxSize(px, px)));
}

void CMainFrame::BuildToolbar() {
  wxToolBar* tb = GetToolBar();
  if (!tb) {
    tb = CreateToolBar(wxTB_HORIZONTAL | wxTB_FLAT, wxID_ANY, "Standard");
    if (!tb) return;
  } else {
    tb->ClearTools();
  }
  const int px = m_state.largeIcons ? 24 : 16;
  tb->SetToolBitmapSize(FromDIP(wxSize(px, px)));
  const std::vector<std::string> noKeys;
  for (int id : m_state.standardButtons) {
    if (id == 0) {
      tb->AddSeparator();
      continue;
    }
    wxString label, tip, help;
    if (IsMenuButton(id)) {
      delete BuildPopup(IDR_TESSARYAUTHORTYPE, static_cast<std::size_t>(id - kMenuButtonBase), &label);
      label = wxStripMenuCodes(label);
      tip = label;
    } else {
      tip = CommandTooltip(id);
      help = CommandPrompt(id);
      const std::vector<std::string> keys = m_state.KeysFor(id);
      if (m_state.shortcutsInTips && !keys.empty()) tip += " (" + FromSystemText(keys.front()) + ")";
    }
    tb->AddTool(WxId(id), label, GetCommandBitmap(id), m_state.screenTips ? tip : wxString(), wxITEM_NORMAL);
    tb->SetToolLongHelp(WxId(id), help);
  }
  tb->Realize();
  tb->Show(m_state.toolbarVisible);
}

void CMainFrame::ShowBarsMenu() {
  wxMenu menu;
  menu.AppendCheckItem(WxId(ID_VIEW_TOOLBAR), "Standard");
  menu.AppendSeparator();
  menu.Append(WxId(ID_CUSTOMIZE), "Customize...");
  menu.Check(WxId(ID_VIEW_TOOLBAR), m_state.toolbarVisible);
  PopupMenu(&menu);
}

void CMainFrame::WatchBarsRightClicks() {
  // Caught on the way down from the window, before the bars see it: a disabled tool or a
  // separator would swallow the click, and the menu bar would open a menu.
  GtkGesture* gesture = gtk_gesture_multi_press_new(GetHandle());
  gtk_gesture_single_set_button(GTK_GESTURE_SINGLE(gesture), GDK_BUTTON_SECONDARY);
  gtk_event_controller_set_propagation_phase(GTK_EVENT_CONTROLLER(gesture), GTK_PHASE_CAPTURE);
  g_signal_connect(gesture, "pressed", G_CALLBACK(&CMainFrame::OnRightPress), this);
  // The gesture lives as long as the window.
  g_object_set_data_full(G_OBJECT(GetHandle()), "tessary-bars-gesture", gesture, g_object_unref);
}

void CMainFrame::OnRightPress(void* gesture, int, double, double, void* self) {
  auto* frame = static_cast<CMainFrame*>(self);
  GtkGesture* g = GTK_GESTURE(gesture);
  const GdkEvent* event = gtk_gesture_get_last_event(g, gtk_gesture_single_get_current_sequence(GTK_GESTURE_SINGLE(g)));
  GtkWidget* target = event ? gtk_get_event_widget(const_cast<GdkEvent*>(event)) : nullptr;
  const auto on = [target](wxWindow* bar) {
    GtkWidget* w = bar && bar->IsShown() ? bar->GetHandle() : nullptr;
    return w && target && (target == w || gtk_widget_is_ancestor(target, w));
  };
  if (!on(frame->GetToolBar()) && !on(frame->GetMenuBar())) {
    gtk_gesture_set_state(g, GTK_EVENT_SEQUENCE_DENIED);
    return;
  }
  gtk_gesture_set_state(g, GTK_EVENT_SEQUENCE_CLAIMED);
  // Shown once GTK has finished with the press.
  frame->CallAfter(&CMainFrame::ShowBarsMenu);
}

void CMainFrame::ApplyKeys() {
  std::vector<wxAcceleratorEntry> entries;
  for (const KeyBinding& k : m_state.keys) {
    wxAcceleratorEntry e;
    if (e.FromString(FromSystemText(k.key))) entries.emplace_back(e.GetFlags(), e.GetKeyCode(), WxId(k.command));
  }
  SetAcceleratorTable(wxAcceleratorTable(static_cast<int>(entries.size()), entries.data()));
}

void CMainFrame::SetCommandBarsState(const CommandBarsState& state) {
  CommandBarsState s = state;
  std::erase_if(s.keys, [](KeyBinding& k) { return (k.key = NormalKey(k.key)).empty(); });
  const bool toolbarChanged = !GetToolBar() || s.standardButtons != m_state.standardButtons ||
                              s.largeIcons != m_state.largeIcons || s.screenTips != m_state.screenTips ||
                              s.shortcutsInTips != m_state.shortcutsInTips || s.keys != m_state.keys;
  m_state = std::move(s);
  if (toolbarChanged) BuildToolbar();
  if (GetToolBar()) GetToolBar()->Show(m_state.toolbarVisible);
  if (GetStatusBar()) GetStatusBar()->Show(m_state.statusBarVisible);
  ApplyKeys();
  ForEachMenuBar([this](wxMenuBar* bar) { UpdateMenuLabels(bar); });
  SendSizeEvent();
}

void CMainFrame::OnViewToolbar(wxCommandEvent&) {
  CommandBarsState s = m_state;
  s.toolbarVisible = !s.toolbarVisible;
  SetCommandBarsState(s);
}

void CMainFrame::OnViewStatusBar(wxCommandEvent&) {
  CommandBarsState s = m_state;
  s.statusBarVisible = !s.statusBarVisible;
  SetCommandBarsState(s);
}

void CMainFrame::OnUpdateViewToolbar(wxUpdateUIEvent& event) { event.Check(m_state.toolbarVisible); }
void CMainFrame::OnUpdateViewStatusBar(wxUpdateUIEvent& event) { event.Check(m_state.statusBarVisible); }

void CMainFrame::OnMenuButton(wxCommandEvent& event) {
  wxMenu* menu = BuildPopup(IDR_TESSARYAUTHORTYPE, static_cast<std::size_t>(SystemId(event.GetId()) - kMenuButtonBase));
  if (!menu) return;
  PopupMenu(menu);
  delete menu;
}

void CMainFrame::OnUpdateNoHandler(wxUpdateUIEvent& event) { event.Enable(false); }

void CMainFrame::OnCustomize(wxCommandEvent&) {
  CCustomizeDlg dlg(this, m_state);
  GetDialogServices().ShowModal(dlg);
  SetCommandBarsState(dlg.GetState());
}

void CMainFrame::OnPreferences(wxCommandEvent&) {
  // Parented, unlike a dialog without an owner, so GTK keeps it above this window.
  CPreferencesDlg dlg(this);
  if (const CProfile* profile = GetAppProfile()) dlg.m_values = ReadPreferences(*profile);
  if (GetDialogServices().ShowModal(dlg) != wxID_OK) return;
  if (CProfile* profile = GetAppProfile()) WritePreferences(*profile, dlg.m_values);
}

// ---------------------------------------------------------------- windows

void CMainFrame::OnWindowCommand(wxCommandEvent& event) {
  switch (SystemId(event.GetId())) {
    case ID_WINDOW_NEW:
      if (wxDocument* doc = GetDocumentManager()->GetCurrentDocument())
        if (wxDocTemplate* t = doc->GetDocumentTemplate())
          if (wxView* view = t->CreateView(doc)) view->Activate(true);
      break;
    case ID_WINDOW_CASCADE: Cascade(); break;
    case ID_WINDOW_TILE_HORZ: Tile(wxHORIZONTAL); break;
    case ID_WINDOW_ARRANGE: ArrangeIcons(); break;
  }
}

void CMainFrame::OnUpdateWindowCommand(wxUpdateUIEvent& event) { event.Enable(GetActiveChild() != nullptr); }

void CMainFrame::OnExit(wxCommandEvent&) { Close(); }

void CMainFrame::OnIdle(wxIdleEvent& event) {
  event.Skip();
  UpdateLockIndicators();
  // The active document's name follows the program's in the title.
  wxString title = ResText(IDR_MAINFRAME);
  if (wxAuiMDIChildFrame* child = GetActiveChild()) title += " - " + child->GetTitle();
  if (GetTitle() != title) SetTitle(title);
}

void CMainFrame::UpdateLockIndicators() {
  wxStatusBar* status = GetStatusBar();
  // Only the X11 display tells the state of the lock keys.
  if (!status || wxGetDisplayInfo().type != wxDisplayX11) return;
  for (int i = 0; i < 3 && i + 1 < status->GetFieldsCount(); ++i) {
    const unsigned id = res::g_StatusIndicators[i + 1];
    const wxString text = wxGetKeyState(static_cast<wxKeyCode>(kLockKeys[i])) ? ResText(id) : wxString();
    if (text != m_lockTexts[i]) {
      m_lockTexts[i] = text;
      status->SetStatusText(text, i + 1);
    }
  }
}

// ---------------------------------------------------------------- placement and profile

void CMainFrame::OnSizeOrMove(wxEvent& event) {
  event.Skip();
  if (!IsShown() || m_maximizePending || IsMaximized() || IsIconized() || IsFullScreen()) return;
  // The window manager may report the maximised size before the maximised state (and the
  // normal state before the normal size): a window that fills its display is not normal.
  const wxRect r = GetRect();
  const int display = wxDisplay::GetFromWindow(this);
  const wxRect area = wxDisplay(display == wxNOT_FOUND ? 0u : static_cast<unsigned>(display)).GetClientArea();
  if (r.width >= area.width && r.height >= area.height) return;
  m_rectNormal = {r.x, r.y, r.width, r.height};
}

WindowPlacement CMainFrame::GetPlacement() const {
  WindowPlacement p;
  p.normal = m_rectNormal;
  p.showCmd = IsIconized() ? SW_SHOWMINIMIZED : IsMaximized() ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL;
  return p;
}

bool CMainFrame::ShowWithSavedPosition(int) {
  std::vector<WindowRect> areas;
  for (unsigned i = 0; i < wxDisplay::GetCount(); ++i) {
    const wxDisplay d(i);
    const wxRect r = d.GetClientArea();
    const WindowRect area{r.x, r.y, r.width, r.height};
    if (d.IsPrimary())
      areas.insert(areas.begin(), area);
    else
      areas.push_back(area);
  }
  WindowPlacement p = DefaultPlacement(areas.empty() ? WindowRect{0, 0, 1024, 768} : areas.front());
  if (const CProfile* profile = GetAppProfile())
    if (const std::optional<WindowPlacement> saved = ReadWindowPlacement(profile->Read())) p = *saved;
  p = FitPlacement(p, areas);
  m_storedPlacement = p;
  m_rectNormal = p.normal;
  SetSize(p.normal.x, p.normal.y, p.normal.width, p.normal.height);
  // The toolkit makes the window before it shows it, at the size its contents then have, which
  // for a first window is nothing: the window would be made that small and the bars laid out
  // in no room. It is made at the size it is given.
  GtkWidget* widget = GetHandle();
  if (!gtk_widget_get_realized(widget)) {
    GtkAllocation client{0, 0, std::max(1, p.normal.width - m_decorSize.left - m_decorSize.right),
                         std::max(1, p.normal.height - m_decorSize.top - m_decorSize.bottom)};
    gtk_widget_set_allocation(widget, &client);
  }
  // The window manager keeps a normal size to come back to only for a window that it has shown
  // at that size: the window is maximised once it is mapped.
  m_maximizePending = p.showCmd == SW_SHOWMAXIMIZED;
  if (m_maximizePending) g_signal_connect(widget, "map-event", G_CALLBACK(&CMainFrame::OnMapEvent), this);
  return Show(true);
}

int CMainFrame::OnMapEvent(void* widget, void*, void* self) {
  g_signal_handlers_disconnect_by_func(widget, reinterpret_cast<void*>(&CMainFrame::OnMapEvent), self);
  auto* frame = static_cast<CMainFrame*>(self);
  frame->m_maximizePending = false;
  frame->Maximize(true);
  return FALSE;
}

void CMainFrame::OnClose(wxCloseEvent& event) {
  // Stored before the documents are asked about, so also when the user then cancels; in one
  // write, which leaves every other value of the profile as it is on disk.
  const WindowPlacement placement = GetPlacement();
  CProfile* profile = GetAppProfile();
  if (profile && (m_state != m_storedState || placement != m_storedPlacement)) {
    const bool stored = profile->Edit([&](ProfileContents& contents) {
      if (m_state != m_storedState) WriteCommandBars(contents, m_state);
      if (placement != m_storedPlacement) WriteWindowPlacement(contents, placement);
      return true;
    });
    if (stored) {
      m_storedState = m_state;
      m_storedPlacement = placement;
    }
  }
  event.Skip();
}

void CMainFrame::OnActivate(wxActivateEvent& event) {
  event.Skip();
  // Back from another window, perhaps another copy of the program: its recent files show here.
  if (event.GetActive())
    if (auto* docs = dynamic_cast<CTessaryDocManager*>(GetDocumentManager())) docs->LoadRecentFiles();
}
