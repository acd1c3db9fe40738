#include "view/target_list_ctrl.h"

#include <sys/stat.h>

#include <algorithm>
#include <memory>

#include <wx/clipbrd.h>
#include <wx/dataobj.h>
#include <wx/dnd.h>
#include <wx/menu.h>

#include "common/bind_command.h"
#include "common/text_conv.h"
#include "document/update_document_data.h"
#include "platform/app_settings.h"
#include "platform/file.h"
#include "platform/profile.h"
#include "res/app_ids.h"
#include "view/clipboard_keeper.h"
#include "view/handler_guard.h"
#include "view/resource_menu.h"

wxDEFINE_EVENT(EVT_FILES_DROPPED, CFilesDroppedEvent);

CFilesDroppedEvent::CFilesDroppedEvent(wxEventType type, int id, std::vector<std::string> paths)
    : wxCommandEvent(type, id), m_paths(std::move(paths)) {}

std::vector<std::string> FilterDroppedFiles(const std::vector<std::string>& paths) {
  std::vector<std::string> files;
  for (const std::string& path : paths) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) continue;
    files.push_back(path);
  }
  return files;
}

// Hands what the desktop drops on the list to the list.
class CTargetDropTarget : public wxFileDropTarget {
 public:
  explicit CTargetDropTarget(CTargetListCtrl* list) : m_list(list) {}
  bool OnDropFiles(wxCoord, wxCoord, const wxArrayString& names) override {
    // Called from the toolkit's drop callback, which no exception may cross.
    return GuardHandler([&] {
      std::vector<std::string> paths;
      for (const wxString& name : names) paths.push_back(ToSystemPath(name));
      m_list->FilesDropped(paths);
    });
  }

 private:
  CTargetListCtrl* m_list;
};

namespace {

constexpr const char* kColumnTitles[] = {"CalibrationID", "SoftwareID"};

}  // namespace

CTargetListCtrl::~CTargetListCtrl() { SaveColumns(); }

bool CTargetListCtrl::Create(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size) {
  if (!wxListCtrl::Create(parent, id, pos, size, wxLC_REPORT | wxBORDER_SIMPLE)) return false;
  SetDropTarget(new CTargetDropTarget(this));
  // The rows and the header are windows of their own, and the list's drop target covers only the
  // rows: a drop on the header is a drop on the list too.
  for (wxWindow* part : GetChildren())
    if (!part->GetDropTarget()) part->SetDropTarget(new CTargetDropTarget(this));
  for (int i = 0; i < 2; ++i) InsertColumn(i, kColumnTitles[i], wxLIST_FORMAT_LEFT);

  // The columns share the list's width until the profile says otherwise.
  const int width = GetClientSize().x;
  for (int i = 0; i < GetColumnCount(); ++i) SetColumnWidth(i, width / GetColumnCount());
  RestoreColumns();
  m_columnsReady = true;

  Bind(wxEVT_CONTEXT_MENU, &CTargetListCtrl::OnContextMenu, this);
  // A right click on the header comes as the header's own event, not as a context-menu request.
  Bind(wxEVT_LIST_COL_RIGHT_CLICK, [this](wxListEvent&) { RequestContextMenu(wxDefaultPosition); });
  Bind(wxEVT_LIST_COL_END_DRAG, &CTargetListCtrl::OnColumnDragged, this);
  BindCommand(*this, &CTargetListCtrl::OnCopyToClipboard, this, ID_COPY_TO_CLIPBOARD);
  BindCommandUpdate(*this, &CTargetListCtrl::OnUpdateCopyToClipboard, this, ID_COPY_TO_CLIPBOARD);
  return true;
}

// ---------------------------------------------------------------- column widths

void CTargetListCtrl::RestoreColumns() {
  std::vector<int> widths;
  if (const CProfile* profile = GetAppProfile()) {
    const ProfileContents contents = profile->Read();
    if (const std::string* stored = contents.Find(kProfileSection, kProfileEntry)) {
      m_storedWidths = ParseColumnWidths(*stored);
      widths = m_storedWidths;
    }
  }
  // Without a width of column 0 the profile holds nothing of ours yet.
  if (widths.empty() || widths[0] == 0) {
    AutoSizeColumns();
    return;
  }
  for (int i = 0; i < GetColumnCount() && i < static_cast<int>(widths.size()); ++i)
    if (widths[static_cast<size_t>(i)] > 0) SetColumnWidth(i, widths[static_cast<size_t>(i)]);
}

void CTargetListCtrl::AutoSizeColumns() {
  const int count = GetColumnCount();
  if (count == 0) return;
  // The columns share the list's width (an ID is far wider than its title), none narrower than
  // its title; the last one takes what is left.
  const int share = GetClientSize().x / count;
  int total = 0;
  for (int i = 0; i < count; ++i) {
    SetColumnWidth(i, wxLIST_AUTOSIZE_USEHEADER);
    SetColumnWidth(i, std::max(GetColumnWidth(i), share));
    total += GetColumnWidth(i);
  }
  const int room = GetClientSize().x - total;
  if (room > 0) SetColumnWidth(count - 1, GetColumnWidth(count - 1) + room);
}

void CTargetListCtrl::SaveColumns() {
  CProfile* profile = GetAppProfile();
  if (!m_columnsReady || !profile) return;
  std::vector<int> widths;
  for (int i = 0; i < GetColumnCount(); ++i) widths.push_back(GetColumnWidth(i));
  // Unchanged widths are not written, so that closing this list keeps what another window or
  // another copy of the program stored meanwhile.
  if (widths == m_storedWidths) return;
  if (profile->WriteProfileString(kProfileSection, kProfileEntry, FormatColumnWidths(widths))) m_storedWidths = widths;
}

void CTargetListCtrl::OnColumnDragged(wxListEvent& event) {
  event.Skip();
  // The header sets the new width after telling of the drag's end.
  CallAfter([this] { SaveColumns(); });
}

// ---------------------------------------------------------------- rows

int CTargetListCtrl::InsertTarget(CTargetObj* target) {
  const long n = GetItemCount();
  const long r = InsertItem(n, FromSystemText(target->m_strCalibrationID));
  SetItem(r, 1, FromSystemText(target->m_strSoftwareID));
  SetItemPtrData(r, reinterpret_cast<wxUIntPtr>(target));
  return static_cast<int>(r);
}

std::vector<long> CTargetListCtrl::GetSelectedRows() const {
  std::vector<long> rows;
  for (long i = GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED); i != -1;
       i = GetNextItem(i, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED))
    rows.push_back(i);
  return rows;
}

bool CTargetListCtrl::HasFocusWithin() const {
  const wxWindow* focus = FindFocus();
  return focus && (focus == this || focus->GetParent() == this);
}

// ---------------------------------------------------------------- text and clipboard

bool CTargetListCtrl::WriteContentsAsText(CFile* file) {
  static const char sTabDelim[] = "\t";
  static const char sRowDelim[] = "\r\n";
  const int nCols = GetColumnCount();
  const long nRows = GetItemCount() + 1;
  for (long i = 0; i < nRows; ++i) {
    for (int j = 0; j < nCols; ++j) {
      std::string cell;
      if (i == 0) {
        wxListItem column;
        column.SetMask(wxLIST_MASK_TEXT);
        if (!GetColumn(j, column)) continue;  // an unreadable title: not even its tab
        cell = ToSystemText(column.GetText());
      } else {
        cell = ToSystemText(GetItemText(i - 1, j));
      }
      file->Write(cell.data(), static_cast<uint32_t>(cell.size()));
      file->Write(sTabDelim, 1);
    }
    file->Write(sRowDelim, 2);
  }
  file->Write("", 1);
  return true;
}

void CTargetListCtrl::OnCopyToClipboard(wxCommandEvent&) {
  GuardHandler([this] {
    CMemFile clipb(4096);
    WriteContentsAsText(&clipb);
    std::string text(reinterpret_cast<const char*>(clipb.GetBufferPtr()), clipb.GetLength());
    // X11 text carries no terminator.
    if (!text.empty() && text.back() == '\0') text.pop_back();
    wxClipboardLocker locker;
    if (!locker) return;
    const wxString copied = FromSystemText(text);
    if (wxTheClipboard->SetData(new wxTextDataObject(copied))) NoteListTextOnClipboard(copied);
  });
}

void CTargetListCtrl::OnUpdateCopyToClipboard(wxUpdateUIEvent& event) { event.Enable(GetItemCount() > 0); }

// ---------------------------------------------------------------- popup and drops

void CTargetListCtrl::OnContextMenu(wxContextMenuEvent& event) { RequestContextMenu(event.GetPosition()); }

// A right click on a row brings two requests, so the popup opens once the click has been
// handled, for all requests of that click.
void CTargetListCtrl::RequestContextMenu(const wxPoint& screen) {
  if (m_menuPending) return;
  m_menuPending = true;
  CallAfter([this, screen] {
    m_menuPending = false;
    ShowContextMenu(screen);
  });
}

void CTargetListCtrl::ShowContextMenu(const wxPoint& screen) {
  std::unique_ptr<wxMenu> menu(BuildResourcePopup(IDR_TARGET_LIST_MENU, 0, nullptr, {}, GetSourcedCommandBitmap));
  if (!menu) return;
  // The keyboard's request carries no point: the menu opens where the pointer is.
  PopupMenu(menu.get(), screen == wxDefaultPosition ? screen : ScreenToClient(screen));
}

void CTargetListCtrl::FilesDropped(const std::vector<std::string>& paths) {
  CFilesDroppedEvent event(EVT_FILES_DROPPED, GetId(), FilterDroppedFiles(paths));
  event.SetEventObject(this);
  if (wxWindow* parent = GetParent()) parent->ProcessWindowEvent(event);
}
