// Binds handlers to commands by the system's ids, so that no binding can forget to map an id for
// the toolkit.
#pragma once

#include <functional>
#include <utility>

#include <wx/event.h>

#include "common/command_ids.h"

inline void BindCommand(wxEvtHandler& source, int systemId, std::function<void()> handler) {
  source.Bind(wxEVT_MENU, [h = std::move(handler)](wxCommandEvent&) { h(); }, WxId(systemId));
}

inline void BindCommandUpdate(wxEvtHandler& source, int systemId, std::function<void(wxUpdateUIEvent&)> handler) {
  source.Bind(wxEVT_UPDATE_UI, std::move(handler), WxId(systemId));
}
