// The communication library: the application's only use of it is to shut it down at exit.
#pragma once

// Both may be called once, in this order, with their results ignored; 0 is success.
int MWShutdown();
int MWServerClose();

namespace comm {

// Lets a test see the calls: the observer gets "MWShutdown" or "MWServerClose" for each call.
using CallObserver = void (*)(const char* function, void* context);
void SetCallObserver(CallObserver observer, void* context);

}  // namespace comm
