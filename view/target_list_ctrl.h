// Placeholder until the list control lands.
#pragma once
#include <string>
#include <vector>
#include <wx/event.h>
#include <wx/listctrl.h>
class CTargetObj;
class CFilesDroppedEvent : public wxCommandEvent {
 public:
  CFilesDroppedEvent(wxEventType type = wxEVT_NULL, int id = 0) : wxCommandEvent(type, id) {}
  const std::vector<std::string>& GetFiles() const { return m_files; }
  std::vector<std::string> m_files;
  wxEvent* Clone() const override { return new CFilesDroppedEvent(*this); }
};
wxDECLARE_EVENT(EVT_FILES_DROPPED, CFilesDroppedEvent);
class CTargetListCtrl : public wxListCtrl {
 public:
  bool Create(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size) {
    if (!wxListCtrl::Create(parent, id, pos, size, wxLC_REPORT | wxBORDER_SUNKEN)) return false;
    AppendColumn("CalibrationID");
    AppendColumn("SoftwareID");
    return true;
  }
  int InsertTarget(CTargetObj* target);
};
