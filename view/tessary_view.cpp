#include "view/tessary_view.h"

#include <algorithm>
#include <filesystem>
#include <memory>

#include <wx/app.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/dcclient.h>
#include <wx/settings.h>
#include <wx/sizer.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/weakref.h>

#include <gtk/gtk.h>

#include "authoring/program_load.h"
#include "authoring/target_folder.h"
#include "common/bind_command.h"
#include "common/dialog_services.h"
#include "common/picture_static.h"
#include "common/tessary_doc.h"
#include "common/text_conv.h"
#include "platform/file.h"
#include "platform/path.h"
#include "platform/profile.h"
#include "platform/ui_services.h"
#include "res/app_ids.h"
#include "view/dialog_units.h"
#include "view/handler_guard.h"
#include "view/preferences_dlg.h"
#include "view/target_list_ctrl.h"

wxIMPLEMENT_DYNAMIC_CLASS(CTessaryAuthorView, wxView);

namespace {

const char kProgramFilter[] = "Programming Files (*.srz;*.sr)|*.srz;*.sr|All Files (*.*)|*.*||";
const char kImageFilter[] =
    "Bitmap Files (*.bmp)|*.bmp|JPEG Files (*.jpg;*.jpeg)|*.jpg;*.jpeg|GIF Files (*.gif)|*.gif|All Files (*.*)|*.*||";

// The form as laid out in dialog units.
constexpr int kFormWidth = 446, kFormHeight = 270;

std::string CurrentDirectory() {
  std::error_code ec;
  const std::filesystem::path dir = std::filesystem::current_path(ec);
  return ec ? std::string() : dir.string();
}

// The files chosen in an Open dialog, in the dialog's order; none when the user cancelled.
std::vector<std::string> ChooseFilesToOpen(wxWindow* parent, const char* filter, const std::string& folder = {},
                                           bool multiple = false) {
  const FileDialogRequest request = FileDialogRequest::Open(parent, filter, FromSystemPath(folder), multiple);
  wxArrayString chosen;
  std::vector<std::string> paths;
  if (GetDialogServices().ChooseFiles(request, chosen))
    for (const wxString& p : chosen) paths.push_back(ToSystemPath(p));
  return paths;
}

// One file from an Open dialog that starts in folder (the toolkit's choice while it is empty);
// an answer moves folder to the chosen file's, where the next such dialog starts.
std::string ChooseFileToOpen(wxWindow* parent, const char* filter, std::string& folder) {
  const std::vector<std::string> paths = ChooseFilesToOpen(parent, filter, folder);
  if (paths.empty()) return std::string();
  folder = tessary::FolderPart(paths.front());
  return paths.front();
}

// Where the form shows that the target list has the focus: just around the list.
wxRect ListFocusRing(const wxWindow* list) { return list->GetRect().Inflate(2); }

// Scrolls form the least that shows place (on the form's panel) whole in it; a place wider or
// taller than the view shows from its start.
void ScrollIntoView(wxScrolledWindow* form, const wxRect& place) {
  int unitX = 1, unitY = 1;
  form->GetScrollPixelsPerUnit(&unitX, &unitY);
  if (unitX <= 0 || unitY <= 0) return;
  const wxPoint start = form->GetViewStart();
  const wxSize view = form->GetClientSize();
  const auto nearest = [](int now, int unit, int room, int from, int to) {
    if (to - now * unit > room) now = (to - room + unit - 1) / unit;
    if (from < now * unit) now = from / unit;
    return now;
  };
  const int x = nearest(start.x, unitX, view.x, place.x, place.GetRight() + 1);
  const int y = nearest(start.y, unitY, view.y, place.y, place.GetBottom() + 1);
  if (x != start.x || y != start.y) form->Scroll(x, y);
}

// Where each Browse dialog was last answered in this run.
std::string g_programFolder, g_imageFolder;

// Runs after the form's own focus move, only when that found no further stop: Tab past the last
// control comes round to the first, Shift+Tab past the first to the last, so that the keyboard
// stays among the form's controls as it does in a dialog.
gboolean WrapFormFocus(GtkWidget* form, GtkDirectionType direction, gpointer) {
  static bool wrapping = false;
  if (wrapping || (direction != GTK_DIR_TAB_FORWARD && direction != GTK_DIR_TAB_BACKWARD)) return FALSE;
  GtkWidget* top = gtk_widget_get_toplevel(form);
  GtkWidget* focus = GTK_IS_WINDOW(top) ? gtk_window_get_focus(GTK_WINDOW(top)) : nullptr;
  if (!focus || !gtk_widget_is_ancestor(focus, form)) return FALSE;
  wrapping = true;
  gtk_container_set_focus_child(GTK_CONTAINER(form), nullptr);
  const gboolean moved = gtk_widget_child_focus(form, direction);
  wrapping = false;
  return moved;
}

}  // namespace

CTessaryAuthorView::CTessaryAuthorView() = default;
CTessaryAuthorView::~CTessaryAuthorView() = default;

CTessaryAuthorDoc* CTessaryAuthorView::GetDocument() const {
  return wxDynamicCast(wxView::GetDocument(), CTessaryAuthorDoc);
}

bool CTessaryAuthorView::OnCreate(wxDocument*, long) {
  wxWindow* frame = GetFrame();
  if (!frame || !GetDocument()) return false;
  CreateForm();
  // The window only holds the form: it is no tab stop of its own, and focus given to it goes on
  // to the form's first control.
  frame->SetCanFocus(false);
  // A window that becomes the active one (made, opened, its tab chosen) has the keyboard in its
  // form, at the control that last had it, as a form view on its own would: otherwise the tab
  // bar keeps it and what is typed goes nowhere.
  const auto focusForm = [panel = wxWeakRef<wxWindow>(m_panel)] {
    wxTheApp->CallAfter([panel] {
      if (!panel || panel->IsBeingDeleted() || !panel->IsShownOnScreen()) return;
      wxWindow* focus = wxWindow::FindFocus();
      if (focus && (focus == panel || panel->IsDescendant(focus))) return;
      panel->SetFocus();
    });
  };
  frame->Bind(wxEVT_ACTIVATE, [focusForm](wxActivateEvent& e) {
    e.Skip();
    if (e.GetActive()) focusForm();
  });
  focusForm();
  auto* sizer = new wxBoxSizer(wxVERTICAL);
  sizer->Add(m_form, 1, wxEXPAND);
  frame->SetSizer(sizer);
  OnInitialUpdate();
  frame->Layout();
  return true;
}

void CTessaryAuthorView::CreateForm() {
  m_form = new wxScrolledWindow(GetFrame(), wxID_ANY, wxDefaultPosition, wxDefaultSize,
                                wxHSCROLL | wxVSCROLL | wxTAB_TRAVERSAL);
  // The controls sit on one panel that the window scrolls as a whole, so their places never
  // depend on how far it is scrolled.
  m_panel = new wxPanel(m_form, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL);
  g_signal_connect_after(m_panel->GetHandle(), "focus", G_CALLBACK(WrapFormFocus), nullptr);
  wxWindow* form = m_panel;
  // Every control made at its place in dialog units (never smaller than it needs to be drawn).
  const auto place = [](auto* control, int x, int y, int w, int h) {
    PlaceInDialogUnits(control, x, y, w, h);
    return control;
  };
  const auto label = [&](const char* text, int x, int y, int w, int h, int id = wxID_ANY) {
    return place(new wxStaticText(form, id, text, wxDefaultPosition, wxDefaultSize, wxST_NO_AUTORESIZE), x, y, w, h);
  };
  const auto group = [&](const char* text, int x, int y, int w, int h, int id = wxID_ANY) {
    return place(new wxStaticBox(form, id, text), x, y, w, h);
  };
  const auto edit = [&](int id, int x, int y, int w, int h, long style) {
    return place(new wxTextCtrl(form, id, wxString(), wxDefaultPosition, wxDefaultSize, style), x, y, w, h);
  };
  const auto button = [&](int id, const char* text, int x, int y, int w, int h) {
    return place(new wxButton(form, id, text), x, y, w, h);
  };
  const auto check = [&](int id, const char* text, int x, int y, int w, int h) {
    return place(new wxCheckBox(form, id, text), x, y, w, h);
  };

  // In the form's order, which is also the order of the keyboard's tab stops.
  m_picture = place(new CPictureStatic(form, IDC_PICTURE, "No Image Loaded"), 214, 19, 99, 69);
  m_editComments = edit(IDC_COMMENTS, 256, 131, 183, 132, wxTE_MULTILINE | wxHSCROLL | wxTE_DONTWRAP);
  wxStaticText* commentsLabel = label("Comments", 259, 123, 34, 8, IDC_COMMENTS_LABEL);
  // Made at its size: it shares its width out among its columns as it is made.
  const wxRect list = DialogUnitsRect(form, 7, 131, 239, 112);
  m_listTargets = new CTargetListCtrl(form, IDC_TARGET_LIST, list.GetPosition(), list.GetSize());
  m_editCalibrationID = edit(IDC_CALIBRATION_ID, 66, 19, 120, 14, wxTE_READONLY);
  group("Software Upgrade (.srz or .sr file)", 7, 7, 189, 110);
  label("Calibration ID", 17, 22, 43, 8);
  m_editSoftwareID = edit(IDC_SOFTWARE_ID, 66, 39, 120, 14, wxTE_READONLY);
  label("Software ID", 17, 42, 38, 8);
  label("Size (bytes)", 17, 61, 37, 8);
  m_editSize = edit(IDC_SIZE, 66, 59, 120, 14, wxTE_READONLY);
  button(IDC_BROWSE_PROGRAM, "Browse", 135, 82, 50, 14);
  label("Calibrations this upgrade can replace", 7, 123, 117, 8);
  wxButton* add = button(IDC_ADD_TARGET, "Add", 7, 249, 50, 14);
  wxButton* remove = button(IDC_REMOVE_TARGET, "Remove", 66, 249, 50, 14);
  wxButton* browseImage = button(IDC_BROWSE_IMAGE, "Browse", 263, 92, 50, 14);
  wxStaticBox* actions = group("Post Upgrade Actions", 342, 7, 97, 110, IDC_POST_UPGRADE_ACTIONS);
  m_checkClearRuntime = check(IDC_CLEAR_RUNTIME, "Clear Runtime", 354, 21, 60, 10);
  m_checkClearFaultHistory = check(IDC_CLEAR_FAULT_HISTORY, "Clear Fault History", 354, 34, 73, 10);
  m_checkResetBreakin = check(IDC_RESET_BREAKIN, "Reset Breakin", 354, 47, 61, 10);
  wxStaticBox* image = group("Image", 205, 7, 128, 110, IDC_IMAGE_GROUP);

  m_formSize = form->ConvertDialogToPixels(wxSize(kFormWidth, kFormHeight));
  m_panel->SetSize(m_formSize);
  m_form->SetVirtualSize(m_formSize);
  m_form->SetScrollRate(8, 8);
  // Scroll bars that show whenever the form does not fit, not only while the pointer is over it.
  gtk_scrolled_window_set_overlay_scrolling(GTK_SCROLLED_WINDOW(m_form->GetHandle()), FALSE);
  // A tab has the size the main window gives it; the form scrolls inside it rather than asking
  // for more room than the tab has.
  m_form->SetMinSize(wxSize(1, 1));

  // How the controls follow the form as it grows.
  using A = CResizeAnchors;
  m_anchors.SetBaseSize(m_formSize);
  m_anchors.Add(image, A::kTopLeft, A::kTopRight);
  m_anchors.Add(m_picture, A::kTopLeft, A::kTopRight);
  m_anchors.Add(browseImage, A::kTopRight, A::kTopRight);
  m_anchors.Add(actions, A::kTopRight, A::kTopRight);
  for (wxWindow* w : {static_cast<wxWindow*>(m_checkClearRuntime), static_cast<wxWindow*>(m_checkClearFaultHistory),
                      static_cast<wxWindow*>(m_checkResetBreakin)})
    m_anchors.Add(w, A::kTopRight, A::kTopRight);
  m_anchors.Add(commentsLabel, A::kTopLeft, A::kTopRight);
  m_anchors.Add(m_editComments, A::kTopLeft, A::kBottomRight);
  m_anchors.Add(m_listTargets, A::kTopLeft, A::kBottomLeft);
  m_anchors.Add(add, A::kBottomLeft, A::kBottomLeft);
  m_anchors.Add(remove, A::kBottomLeft, A::kBottomLeft);
  m_form->Bind(wxEVT_SIZE, [this](wxSizeEvent& e) {
    e.Skip();
    Relayout();
  });

  // The form's notifications. Every handler runs guarded: no exception reaches the toolkit.
  const auto onButton = [this](int id, void (CTessaryAuthorView::*handler)()) {
    m_panel->Bind(
        wxEVT_BUTTON, [this, handler](wxCommandEvent&) { GuardHandler([&] { (this->*handler)(); }); }, id);
  };
  onButton(IDC_ADD_TARGET, &CTessaryAuthorView::OnAddTarget);
  onButton(IDC_BROWSE_PROGRAM, &CTessaryAuthorView::OnBrowseProgrammingFile);
  onButton(IDC_BROWSE_IMAGE, &CTessaryAuthorView::OnBrowseImage);
  onButton(IDC_REMOVE_TARGET, &CTessaryAuthorView::OnRemoveTarget);
  const auto onCheck = [this](int id, void (CTessaryAuthorView::*handler)()) {
    m_panel->Bind(
        wxEVT_CHECKBOX, [this, handler](wxCommandEvent&) { GuardHandler([&] { (this->*handler)(); }); }, id);
  };
  onCheck(IDC_CLEAR_FAULT_HISTORY, &CTessaryAuthorView::OnClearFaultHistory);
  onCheck(IDC_CLEAR_RUNTIME, &CTessaryAuthorView::OnClearRuntime);
  onCheck(IDC_RESET_BREAKIN, &CTessaryAuthorView::OnResetBreakin);
  m_editComments->Bind(wxEVT_TEXT, [this](wxCommandEvent&) { GuardHandler([this] { OnChangeComments(); }); });
  // The list shows the focus only on a current row, none while it is empty: the form draws a
  // ring around it while it has the focus. The handlers outlive the view (the windows go later).
  m_panel->Bind(wxEVT_PAINT, [panel = m_panel, list = m_listTargets](wxPaintEvent&) {
    wxPaintDC dc(panel);
    if (!list->HasFocusWithin()) return;
    dc.SetPen(wxPen(wxSystemSettings::GetColour(wxSYS_COLOUR_HIGHLIGHT), 2));
    dc.SetBrush(*wxTRANSPARENT_BRUSH);
    dc.DrawRectangle(ListFocusRing(list));
  });
  // A control that gets the focus while outside the tab's view (Tab in a small window) is
  // scrolled into it. The list tells of its focus only as its own.
  m_panel->Bind(wxEVT_CHILD_FOCUS, [form = m_form, panel = m_panel](wxChildFocusEvent& e) {
    e.Skip();
    wxWindow* control = e.GetWindow();
    while (control && control->GetParent() != panel) control = control->GetParent();
    if (control) ScrollIntoView(form, control->GetRect());
  });
  const auto focusChanged = [form = m_form, panel = m_panel, list = m_listTargets](wxFocusEvent& e) {
    e.Skip();
    if (panel->IsBeingDeleted() || list->IsBeingDeleted()) return;
    panel->RefreshRect(ListFocusRing(list).Inflate(2));
    if (e.GetEventType() == wxEVT_SET_FOCUS) ScrollIntoView(form, list->GetRect());
  };
  m_listTargets->Bind(wxEVT_SET_FOCUS, focusChanged);
  m_listTargets->Bind(wxEVT_KILL_FOCUS, focusChanged);
  m_panel->Bind(EVT_FILES_DROPPED, [this](CFilesDroppedEvent& e) {
    const std::vector<std::string> files = e.GetPaths();
    GuardHandler([&] { OnFilesDropped(files); });
  });

  // Cut, Copy and Paste act on the comments, wherever the focus is, and are never greyed.
  for (const auto& [id, action] : {std::pair<int, void (wxTextCtrl::*)()>{ID_EDIT_CUT, &wxTextCtrl::Cut},
                                   {ID_EDIT_COPY, &wxTextCtrl::Copy},
                                   {ID_EDIT_PASTE, &wxTextCtrl::Paste}}) {
    BindCommand(*this, id, [this, action = action] { GuardHandler([&] { (m_editComments->*action)(); }); });
    BindCommandUpdate(*this, id, [](wxUpdateUIEvent& e) { e.Enable(true); });
  }
}

void CTessaryAuthorView::Relayout() {
  if (m_layingOut || !m_form) return;
  m_layingOut = true;
  // Scroll bars that come or go change the room; settle it before placing the controls.
  wxSize size;
  for (int i = 0; i < 3; ++i) {
    const wxSize client = m_form->GetClientSize();
    size = wxSize(std::max(client.x, m_formSize.x), std::max(client.y, m_formSize.y));
    m_form->SetVirtualSize(size);
    if (m_form->GetClientSize() == client) break;
  }
  const wxPoint origin = m_form->CalcScrolledPosition(wxPoint(0, 0));
  m_panel->SetSize(origin.x, origin.y, size.x, size.y);
  m_anchors.Apply(size);
  m_layingOut = false;
}

bool CTessaryAuthorView::TryBefore(wxEvent& event) {
  const wxEventType type = event.GetEventType();
  if (m_listTargets && (type == wxEVT_MENU || type == wxEVT_UPDATE_UI) &&
      m_listTargets->GetEventHandler()->ProcessEventLocally(event))
    return true;
  return wxView::TryBefore(event);
}

bool CTessaryAuthorView::OnClose(bool deleteWindow) {
  // Another window on the same document keeps it open.
  if (wxDocument* doc = wxView::GetDocument(); doc && doc->GetViewsVector().size() > 1) return true;
  return wxView::OnClose(deleteWindow);
}

// ---------------------------------------------------------------- the document on the form

void CTessaryAuthorView::UpdateData(bool saveAndValidate) {
  if (saveAndValidate) {
    m_bClearFaultHistory = m_checkClearFaultHistory->GetValue();
    m_bClearRuntime = m_checkClearRuntime->GetValue();
    m_bResetBreakin = m_checkResetBreakin->GetValue();
    // A text is taken back only when the user changed it: one that still shows as it was put
    // keeps its bytes, also those of a code page that the form shows but would not write.
    const auto take = [](wxTextCtrl* edit, std::string& member, wxString& shown) {
      const wxString value = edit->GetValue();
      if (value == shown) return;
      member = ToSystemText(value);
      shown = value;
    };
    take(m_editCalibrationID, m_strCalibrationID, m_shownCalibrationID);
    take(m_editComments, m_strComments, m_shownComments);
    unsigned long size = 0;
    if (m_editSize->GetValue().ToULong(&size) && size <= UINT32_MAX) m_dwSize = static_cast<uint32_t>(size);
    take(m_editSoftwareID, m_strSoftwareID, m_shownSoftwareID);
    return;
  }
  // Putting values on the form is not an edit: ChangeValue sends no change notification.
  m_checkClearFaultHistory->SetValue(m_bClearFaultHistory);
  m_checkClearRuntime->SetValue(m_bClearRuntime);
  m_checkResetBreakin->SetValue(m_bResetBreakin);
  const auto put = [](wxTextCtrl* edit, const wxString& text) {
    if (edit->GetValue() != text) edit->ChangeValue(text);
  };
  // What a text field holds once a member is put there, as the field gives it back.
  const auto putText = [&](wxTextCtrl* edit, const std::string& member, wxString& shown) {
    put(edit, FromSystemText(member));
    shown = edit->GetValue();
  };
  putText(m_editCalibrationID, m_strCalibrationID, m_shownCalibrationID);
  putText(m_editComments, m_strComments, m_shownComments);
  put(m_editSize, wxString::Format("%u", m_dwSize));
  putText(m_editSoftwareID, m_strSoftwareID, m_shownSoftwareID);
}

void CTessaryAuthorView::OnInitialUpdate() {
  const CTessaryAuthorDoc* doc = GetDocument();
  m_bClearFaultHistory = doc->m_bClearFaultHistory;
  m_bClearRuntime = doc->m_bClearRuntime;
  m_bResetBreakin = doc->m_bResetBreakin;
  m_strComments = doc->m_strComments;
  m_strCalibrationID = doc->m_strCalibrationID;
  m_dwSize = doc->m_dwSize;
  m_strSoftwareID = doc->m_strSoftwareID;
  UpdateData(false);
  Relayout();
  ShowDocumentImage();
  FillTargets();
}

void CTessaryAuthorView::FillTargets() {
  for (const auto& target : GetDocument()->m_targets) m_listTargets->InsertTarget(target.get());
}

void CTessaryAuthorView::OnUpdate(wxView* sender, wxObject* hint) {
  if (sender == this || !m_form) return;
  const CTessaryAuthorDoc* doc = GetDocument();
  const auto* change = wxDynamicCast(hint, CDocChange);
  if (!change) {
    // The whole document is new (it was just read): the form starts over.
    m_listTargets->DeleteAllItems();
    OnInitialUpdate();
    return;
  }
  switch (change->m_what) {
    case CDocChange::upgrade:
      m_strCalibrationID = doc->m_strCalibrationID;
      m_strSoftwareID = doc->m_strSoftwareID;
      m_dwSize = doc->m_dwSize;
      break;
    case CDocChange::image: ShowDocumentImage(); return;
    case CDocChange::actions:
      m_bClearFaultHistory = doc->m_bClearFaultHistory;
      m_bClearRuntime = doc->m_bClearRuntime;
      m_bResetBreakin = doc->m_bResetBreakin;
      break;
    case CDocChange::comments: m_strComments = doc->m_strComments; break;
    case CDocChange::targetAdded: m_listTargets->InsertTarget(change->m_target); return;
    case CDocChange::targetRemoved: RemoveRowOf(change->m_target); return;
  }
  UpdateData(false);
}

void CTessaryAuthorView::RemoveRowOf(const void* target) {
  for (long row = m_listTargets->GetItemCount() - 1; row >= 0; --row)
    if (reinterpret_cast<const void*>(m_listTargets->GetItemData(row)) == target) m_listTargets->DeleteItem(row);
}

void CTessaryAuthorView::ShowDocumentImage() {
  const CTessaryAuthorDoc* doc = GetDocument();
  m_picture->LoadPictureData(doc->m_pImageData.get(), doc->m_nImageSize);
  m_picture->Refresh(true);
}

// ---------------------------------------------------------------- the software upgrade and the image

void CTessaryAuthorView::OnBrowseProgrammingFile() {
  const std::string path = ChooseFileToOpen(m_panel, kProgramFilter, g_programFolder);
  if (path.empty()) return;
  UpgradeProgram program;
  if (!LoadUpgradeProgram(path, program)) return;
  m_strSoftwareID = program.ids.softwareID;
  m_strCalibrationID = program.ids.calibrationID;
  m_dwSize = program.size;
  GetDocument()->SetUpgrade(this, std::move(program.ids.calibrationID), std::move(program.ids.softwareID), program.size,
                            std::move(program.programData));
  UpdateData(false);
}

void CTessaryAuthorView::OnBrowseImage() {
  const std::string path = ChooseFileToOpen(m_panel, kImageFilter, g_imageFolder);
  if (path.empty()) return;
  // A failure to read leaves the handler with the cursor already back; the guard reports it.
  CWaitCursor wait;
  uint32_t length = 0;
  std::unique_ptr<uint8_t[]> data = ReadWholeFileBytes(path, kImageFileLimit, length);
  // The old image goes only now that the new one has been read whole.
  GetDocument()->SetImage(this, std::move(data), static_cast<int32_t>(length));
  ShowDocumentImage();
}

void CTessaryAuthorView::OnActionClicked(PostUpgradeAction action, bool CTessaryAuthorView::*member) {
  UpdateData(true);
  GetDocument()->SetAction(this, action, this->*member);
}

void CTessaryAuthorView::OnClearFaultHistory() {
  OnActionClicked(PostUpgradeAction::clearFaultHistory, &CTessaryAuthorView::m_bClearFaultHistory);
}
void CTessaryAuthorView::OnClearRuntime() {
  OnActionClicked(PostUpgradeAction::clearRuntime, &CTessaryAuthorView::m_bClearRuntime);
}
void CTessaryAuthorView::OnResetBreakin() {
  OnActionClicked(PostUpgradeAction::resetBreakin, &CTessaryAuthorView::m_bResetBreakin);
}

void CTessaryAuthorView::OnChangeComments() {
  UpdateData(true);
  GetDocument()->SetComments(this, m_strComments);
}

// ---------------------------------------------------------------- targets

void CTessaryAuthorView::OnAddTarget() {
  PreferenceValues preferences;
  if (const CProfile* profile = GetAppProfile()) preferences = ReadPreferences(*profile);
  const int always = preferences.m_bAlwaysUseSourceCalFolder ? 1 : 0;
  const std::string sourceCalPath = ToSystemPath(preferences.m_strSourceCalPath);
  g_strSourceCalFolder = AddStartFolder(g_strSourceCalFolder, always, sourceCalPath, CurrentDirectory());

  const std::vector<std::string> paths = ChooseFilesToOpen(m_panel, kProgramFilter, g_strSourceCalFolder, true);
  if (paths.empty()) return;
  // An exception here ends the command: the files after it are skipped, the folder stays.
  AddTargetsFromFiles(paths);
  g_strSourceCalFolder = tessary::FolderPart(paths.front());
}

void CTessaryAuthorView::OnFilesDropped(const std::vector<std::string>& paths) { AddTargetsFromFiles(paths); }

void CTessaryAuthorView::AddTargetsFromFiles(const std::vector<std::string>& paths) {
  // A database that cannot be used fails every file alike: said once, the rest are not tried.
  for (const std::string& path : paths)
    if (!AddTargetFromFile(path)) break;
}

bool CTessaryAuthorView::AddTargetFromFile(const std::string& path) {
  CTessaryAuthorDoc* doc = GetDocument();
  bool databaseUnusable = false;
  std::unique_ptr<CTargetObj> target = LoadTargetFromFile(path, doc->m_targets, &databaseUnusable);
  if (target) m_listTargets->InsertTarget(doc->AddTarget(this, std::move(target)));
  return !databaseUnusable;
}

void CTessaryAuthorView::OnRemoveTarget() {
  CTessaryAuthorDoc* doc = GetDocument();
  for (long row; (row = m_listTargets->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED)) >= 0;) {
    const auto* target = reinterpret_cast<const CTargetObj*>(m_listTargets->GetItemData(row));
    m_listTargets->DeleteItem(row);
    // A row whose target the document does not hold goes from the list alone.
    if (target) doc->RemoveTarget(this, target);
  }
  doc->Modify(true);
}
