// Windows as the X server has them, not as the toolkit believes they are: the window manager's
// frame around a top-level window and its client area, in root-window coordinates; and the
// requests a user makes through the window manager (maximise, close) for another process's window.
#pragma once

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <sys/types.h>

#include <optional>

#include <wx/gdicmn.h>
#include <wx/toplevel.h>

struct XWindowGeometry {
  wxRect frame;   // the window manager's frame, decorations included
  wxRect client;  // the program's own window inside it
};

inline std::optional<XWindowGeometry> QueryXGeometry(Display* display, Window window) {
  XSync(display, False);
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(display, window, &attributes)) return std::nullopt;
  int x = 0, y = 0;
  Window child;
  if (!XTranslateCoordinates(display, window, attributes.root, 0, 0, &x, &y, &child)) return std::nullopt;
  XWindowGeometry g;
  g.client = wxRect(x, y, attributes.width, attributes.height);

  // The frame is the ancestor that is a child of the root window (the window itself without one).
  Window frame = window;
  for (;;) {
    Window root, parent;
    Window* children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, frame, &root, &parent, &children, &count)) return std::nullopt;
    if (children) XFree(children);
    if (parent == root) break;
    frame = parent;
  }
  XWindowAttributes f;
  if (!XGetWindowAttributes(display, frame, &f)) return std::nullopt;
  g.frame = wxRect(f.x, f.y, f.width + 2 * f.border_width, f.height + 2 * f.border_width);
  return g;
}

// A window of this process.
inline std::optional<XWindowGeometry> QueryXGeometry(const wxTopLevelWindow* tlw) {
  GtkWidget* widget = tlw ? tlw->GetHandle() : nullptr;
  GdkWindow* gdkWindow = widget ? gtk_widget_get_window(widget) : nullptr;
  if (!gdkWindow || !GDK_IS_X11_WINDOW(gdkWindow)) return std::nullopt;
  return QueryXGeometry(GDK_WINDOW_XDISPLAY(gdkWindow), GDK_WINDOW_XID(gdkWindow));
}

// Another process's windows, over a connection of its own.
class XClient {
 public:
  XClient() : m_display(XOpenDisplay(nullptr)) {}
  ~XClient() {
    if (m_display) XCloseDisplay(m_display);
  }
  XClient(const XClient&) = delete;
  XClient& operator=(const XClient&) = delete;

  Display* display() const { return m_display; }

  // The viewable top-level window of process pid, or 0.
  Window FindWindowOf(pid_t pid) {
    if (!m_display) return 0;
    XSync(m_display, False);
    return Find(DefaultRootWindow(m_display), pid);
  }

  std::optional<XWindowGeometry> Geometry(Window w) { return QueryXGeometry(m_display, w); }

  bool IsMaximized(Window w) {
    const Atom vert = Intern("_NET_WM_STATE_MAXIMIZED_VERT"), horz = Intern("_NET_WM_STATE_MAXIMIZED_HORZ");
    bool v = false, h = false;
    ForEachLong(w, "_NET_WM_STATE", XA_ATOM, [&](long a) {
      v = v || static_cast<Atom>(a) == vert;
      h = h || static_cast<Atom>(a) == horz;
    });
    return v && h;
  }

  // As the title bar's maximise and restore buttons ask it.
  void RequestMaximized(Window w, bool maximized) {
    SendToRoot(w, "_NET_WM_STATE",
               {maximized ? 1L : 0L, static_cast<long>(Intern("_NET_WM_STATE_MAXIMIZED_VERT")),
                static_cast<long>(Intern("_NET_WM_STATE_MAXIMIZED_HORZ")), 1L, 0L});
  }

  // As the title bar's close button asks it.
  void RequestClose(Window w) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = Intern("WM_PROTOCOLS");
    e.xclient.format = 32;
    e.xclient.data.l[0] = static_cast<long>(Intern("WM_DELETE_WINDOW"));
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(m_display, w, False, NoEventMask, &e);
    XFlush(m_display);
  }

 private:
  Atom Intern(const char* name) { return XInternAtom(m_display, name, False); }

  template <class F>
  void ForEachLong(Window w, const char* property, Atom type, F f) {
    Atom actual;
    int format;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(m_display, w, Intern(property), 0, 64, False, type, &actual, &format, &count, &after,
                           &data) == Success &&
        data && format == 32)
      for (unsigned long i = 0; i < count; ++i) f(reinterpret_cast<long*>(data)[i]);
    if (data) XFree(data);
  }

  Window Find(Window w, pid_t pid) {
    bool mine = false;
    ForEachLong(w, "_NET_WM_PID", XA_CARDINAL, [&](long p) { mine = p == pid; });
    XWindowAttributes a;
    if (mine && XGetWindowAttributes(m_display, w, &a) && a.map_state == IsViewable) return w;
    Window root, parent;
    Window* children = nullptr;
    unsigned count = 0;
    Window found = 0;
    if (XQueryTree(m_display, w, &root, &parent, &children, &count))
      for (unsigned i = 0; i < count && !found; ++i) found = Find(children[i], pid);
    if (children) XFree(children);
    return found;
  }

  void SendToRoot(Window w, const char* type, const std::initializer_list<long>& values) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = Intern(type);
    e.xclient.format = 32;
    int i = 0;
    for (long v : values) e.xclient.data.l[i++] = v;
    XSendEvent(m_display, DefaultRootWindow(m_display), False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
    XFlush(m_display);
  }

  Display* m_display;
};

// Where a widget of this process is on the screen.
inline wxRect ScreenRectOf(GtkWidget* widget) {
  GtkWidget* top = widget ? gtk_widget_get_toplevel(widget) : nullptr;
  GdkWindow* window = top ? gtk_widget_get_window(top) : nullptr;
  int x = 0, y = 0, originX = 0, originY = 0;
  if (!window || !gtk_widget_translate_coordinates(widget, top, 0, 0, &x, &y)) return wxRect();
  gdk_window_get_origin(window, &originX, &originY);
  GtkAllocation a;
  gtk_widget_get_allocation(widget, &a);
  return wxRect(originX + x, originY + y, a.width, a.height);
}
