#include "view/target_list_ctrl.h"
#include "common/update_document_data.h"
wxDEFINE_EVENT(EVT_FILES_DROPPED, CFilesDroppedEvent);
int CTargetListCtrl::InsertTarget(CTargetObj* t) {
  const long r = InsertItem(GetItemCount(), wxString(t->m_strCalibrationID));
  SetItem(r, 1, wxString(t->m_strSoftwareID));
  SetItemPtrData(r, reinterpret_cast<wxUIntPtr>(t));
  return static_cast<int>(r);
}
