#include "comm/bvcomm.h"

namespace {

comm::CallObserver g_observer = nullptr;
void* g_context = nullptr;

// The library holds no connection of its own: shutting down only tells whoever listens.
void Notify(const char* function) {
  if (g_observer) g_observer(function, g_context);
}

}  // namespace

int MWShutdown() {
  Notify("MWShutdown");
  return 0;
}

int MWServerClose() {
  Notify("MWServerClose");
  return 0;
}

void comm::SetCallObserver(CallObserver observer, void* context) {
  g_observer = observer;
  g_context = context;
}
