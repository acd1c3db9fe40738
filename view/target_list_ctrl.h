// The list of the calibrations an upgrade may replace: one row per target, its text for the
// clipboard, its popup menu, its column widths in the profile, and files dropped on it.
#pragma once

#include <string>
#include <vector>

#include <wx/event.h>
#include <wx/listctrl.h>

class CFile;
class CTargetObj;

// Sent synchronously to the list's parent when files were dropped on it: the dropped paths that
// name existing entries other than folders, in drop order (possibly none). The paths are valid
// only while the event is handled.
class CFilesDroppedEvent : public wxCommandEvent {
 public:
  CFilesDroppedEvent(wxEventType type = wxEVT_NULL, int id = 0, std::vector<std::string> paths = {});
  const std::vector<std::string>& GetPaths() const { return m_paths; }
  wxEvent* Clone() const override { return new CFilesDroppedEvent(*this); }

 private:
  std::vector<std::string> m_paths;
};

wxDECLARE_EVENT(EVT_FILES_DROPPED, CFilesDroppedEvent);

// Those of paths that name an existing entry other than a folder, in their order.
std::vector<std::string> FilterDroppedFiles(const std::vector<std::string>& paths);

class CTargetListCtrl : public wxListCtrl {
 public:
  // Profile place of the column widths.
  static constexpr const char* kProfileSection = "CTargetListCtrl_TSA";
  static constexpr const char* kProfileEntry = "Columns";

  CTargetListCtrl() = default;
  CTargetListCtrl(wxWindow* parent, wxWindowID id, const wxPoint& pos = wxDefaultPosition,
                  const wxSize& size = wxDefaultSize) {
    Create(parent, id, pos, size);
  }
  ~CTargetListCtrl() override;

  // A report list with several-row selection, its two columns and their widths from the profile.
  bool Create(wxWindow* parent, wxWindowID id, const wxPoint& pos = wxDefaultPosition,
              const wxSize& size = wxDefaultSize);

  // Appends a row for target (not owned: the row's item data is the pointer); the new row's index.
  int InsertTarget(CTargetObj* target);
  // The target of row n (nullptr for a row without one).
  CTargetObj* GetTarget(long n) const { return reinterpret_cast<CTargetObj*>(GetItemData(n)); }
  // The selected rows, top to bottom.
  std::vector<long> GetSelectedRows() const;
  // True while the list or a part of it (the rows, the header) has the keyboard focus.
  bool HasFocusWithin() const;

  // The list as text: the title row and every row, each cell followed by a tab and each row by
  // CR LF, then one zero byte. Cells are written as they are (a tab in a cell is not escaped).
  bool WriteContentsAsText(CFile* file);

  void OnCopyToClipboard(wxCommandEvent& event);
  void OnUpdateCopyToClipboard(wxUpdateUIEvent& event);

 private:
  void OnContextMenu(wxContextMenuEvent& event);
  // Menu 135 at a point on the screen (wxDefaultPosition: at the pointer).
  void RequestContextMenu(const wxPoint& screen);
  void ShowContextMenu(const wxPoint& screen);
  void OnColumnDragged(wxListEvent& event);
  void RestoreColumns();
  // Stores the widths when they differ from those the profile had for this list.
  void SaveColumns();
  void AutoSizeColumns();

  friend class CTargetDropTarget;
  void FilesDropped(const std::vector<std::string>& paths);

  bool m_columnsReady = false;      // set-up finished: the widths are worth saving
  std::vector<int> m_storedWidths;  // what the profile had when last read or written
  bool m_menuPending = false;       // a popup is on its way
};
