// Binds handlers to commands by the system's ids, so that no binding can forget to map an id for
// the toolkit.
#pragma once

#include <functional>
#include <utility>

#include <wx/event.h>

#include "common/command_ids.h"

inline void BindCommand(wxEvtHandler& source, int systemId, std::function<void()> handler) {
  source.Bind(
      wxEVT_MENU, [h = std::move(handler)](wxCommandEvent&) { h(); }, WxId(systemId));
}

inline void BindCommandUpdate(wxEvtHandler& source, int systemId, std::function<void(wxUpdateUIEvent&)> handler) {
  source.Bind(wxEVT_UPDATE_UI, std::move(handler), WxId(systemId));
}

// A member of handler, for the command systemId or, given lastSystemId, the range of commands
// from the one to the other.
template <typename Class, typename Handler>
void BindCommand(wxEvtHandler& source, void (Class::*method)(wxCommandEvent&), Handler* handler, int systemId,
                 int lastSystemId = wxID_ANY) {
  source.Bind(wxEVT_MENU, method, handler, WxId(systemId), lastSystemId == wxID_ANY ? wxID_ANY : WxId(lastSystemId));
}

template <typename Class, typename Handler>
void BindCommandUpdate(wxEvtHandler& source, void (Class::*method)(wxUpdateUIEvent&), Handler* handler, int systemId,
                       int lastSystemId = wxID_ANY) {
  source.Bind(wxEVT_UPDATE_UI, method, handler, WxId(systemId),
              lastSystemId == wxID_ANY ? wxID_ANY : WxId(lastSystemId));
}
