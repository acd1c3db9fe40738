#include "view/clipboard_holder.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <errno.h>
#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <iterator>
#include <string_view>

#include "platform/utf8.h"

namespace {

// The text for STRING, which is ISO Latin-1: a character beyond it, or a byte that is not UTF-8,
// as '?'.
std::string Latin1(std::string_view utf8) {
  std::string text;
  for (size_t n; !utf8.empty(); utf8.remove_prefix(std::max<size_t>(n, 1))) {
    n = tessary::Utf8SequenceLength(utf8);
    const auto lead = static_cast<unsigned char>(utf8[0]);
    if (n == 1)
      text += utf8[0];
    else if (n == 2 && lead < 0xC4)
      text += static_cast<char>(((lead & 0x1F) << 6) | (static_cast<unsigned char>(utf8[1]) & 0x3F));
    else
      text += '?';
  }
  return text;
}

int Serve(const char* name, const std::string& utf8, int ready) {
  XSetIOErrorHandler([](Display*) -> int { _exit(0); });              // the display went
  XSetErrorHandler([](Display*, XErrorEvent*) -> int { return 0; });  // a requestor went
  Display* display = XOpenDisplay(name);
  if (!display) return 1;
  const Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
  XSelectInput(display, window, PropertyChangeMask);
  enum { clipboardAtom, targetsAtom, utf8StringAtom, textAtom, timestampAtom, atomCount };
  char clipboard[] = "CLIPBOARD", targetsName[] = "TARGETS", utf8String[] = "UTF8_STRING", text[] = "TEXT",
       timestamp[] = "TIMESTAMP";
  char* names[atomCount] = {clipboard, targetsName, utf8String, text, timestamp};
  Atom atoms[atomCount];
  if (!XInternAtoms(display, names, atomCount, False, atoms)) return 1;

  // The selection is taken at a time of the server's: that of an empty change of a property.
  XChangeProperty(display, window, XA_WM_NAME, XA_STRING, 8, PropModeAppend, nullptr, 0);
  XEvent event;
  XWindowEvent(display, window, PropertyChangeMask, &event);
  const Time since = event.xproperty.time;
  XSetSelectionOwner(display, atoms[clipboardAtom], window, since);
  if (XGetSelectionOwner(display, atoms[clipboardAtom]) != window) return 1;
  if (write(ready, "", 1) != 1) return 1;
  close(ready);

  const std::string latin1 = Latin1(utf8);
  const Atom targets[] = {atoms[targetsAtom], atoms[timestampAtom], atoms[utf8StringAtom], XA_STRING, atoms[textAtom]};
  const long since32 = static_cast<long>(since);
  // Each answer is one property change; a text larger than one request could carry is refused.
  const size_t limit =
      static_cast<size_t>(std::max(XExtendedMaxRequestSize(display), XMaxRequestSize(display))) * 4 - 256;
  for (;;) {
    XNextEvent(display, &event);
    if (event.type == SelectionClear && event.xselectionclear.selection == atoms[clipboardAtom]) return 0;
    if (event.type != SelectionRequest) continue;
    const XSelectionRequestEvent& request = event.xselectionrequest;
    XSelectionEvent reply{};
    reply.type = SelectionNotify;
    reply.display = display;
    reply.requestor = request.requestor;
    reply.selection = request.selection;
    reply.target = request.target;
    reply.time = request.time;
    reply.property = None;
    // A requestor that names no property is an old one: the target is the property.
    const Atom property = request.property != None ? request.property : request.target;
    const auto answer = [&](Atom type, int format, const void* data, size_t count) {
      if (count * static_cast<size_t>(format / 8) > limit) return;
      XChangeProperty(display, request.requestor, property, type, format, PropModeReplace,
                      static_cast<const unsigned char*>(data), static_cast<int>(count));
      reply.property = property;
    };
    if (request.selection == atoms[clipboardAtom] && (request.time == CurrentTime || request.time >= since)) {
      if (request.target == atoms[targetsAtom])
        answer(XA_ATOM, 32, targets, std::size(targets));
      else if (request.target == atoms[timestampAtom])
        answer(XA_INTEGER, 32, &since32, 1);
      else if (request.target == atoms[utf8StringAtom] || request.target == atoms[textAtom])
        answer(atoms[utf8StringAtom], 8, utf8.data(), utf8.size());
      else if (request.target == XA_STRING)
        answer(XA_STRING, 8, latin1.data(), latin1.size());
    }
    XSendEvent(display, request.requestor, False, NoEventMask, reinterpret_cast<XEvent*>(&reply));
    XFlush(display);
  }
}

// The holder keeps nothing of the program's: no terminal, no file, no signal handler, no memory
// it can give back.
void Detach(int ready) {
  setsid();
  prctl(PR_SET_NAME, "tessary-clip");
  const int null = open("/dev/null", O_RDWR);
  for (int fd = 0; fd < 3; ++fd) dup2(null, fd);
  dup2(ready, 3);
  if (close_range(4, ~0U, 0) != 0)
    for (long fd = 4, last = sysconf(_SC_OPEN_MAX); fd < last; ++fd) close(static_cast<int>(fd));
  for (int s = 1; s < NSIG; ++s) signal(s, SIG_DFL);
  signal(SIGPIPE, SIG_IGN);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  malloc_trim(0);
}

}  // namespace

pid_t HoldClipboardText(const std::string& display, const std::string& utf8) {
  int ready[2];
  if (pipe2(ready, O_CLOEXEC) != 0) return -1;
  const pid_t pid = fork();
  if (pid == 0) {
    // From here on only this process's own X connection: never the toolkit's, never its exit.
    close(ready[0]);
    Detach(ready[1]);
    int code = 1;
    try {
      code = Serve(display.c_str(), utf8, 3);
    } catch (...) {
    }
    _exit(code);
  }
  close(ready[1]);
  // The holder says when it owns the clipboard, or closes its end when it cannot.
  char byte = 0;
  bool held = false;
  for (int waited = 0; pid > 0 && !held && waited < 50; ++waited) {
    pollfd wait{ready[0], POLLIN, 0};
    const int n = poll(&wait, 1, 100);
    if (n < 0 && errno != EINTR) break;
    if (n > 0) {
      held = read(ready[0], &byte, 1) == 1;
      break;
    }
  }
  close(ready[0]);
  if (pid > 0 && !held) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  return held ? pid : -1;
}
