"""Drives the built program the way a user does: a virtual display with a window manager, the
mouse and the keyboard through xdotool, and the widgets found and read through the accessibility
tree (AT-SPI). Clicks go to a widget's on-screen extents, never through an accessibility action:
an action whose handler opens a modal dialog does not return until the dialog is closed.

Everything here waits by polling with a deadline, so that a scenario ends by itself when the
program does not do what it should."""

import ctypes
import os
import signal
import subprocess
import sys
import time

SCREEN = (1280, 1024)

# Names of the program's own texts that the scenarios read back.
APP_TITLE = "TessaryAuthor"


class ScenarioFailure(AssertionError):
    pass


def check(condition, message):
    if not condition:
        raise ScenarioFailure(message)


def _atspi():
    # Imported late: listing the scenarios needs no accessibility stack, and the bus address
    # must be in the environment before the library first connects.
    import pyatspi

    return pyatspi


def _poll(probe, timeout, interval):
    deadline = time.monotonic() + timeout
    last_error = None
    while True:
        try:
            result = probe()
            if result:
                return result, None
        except ScenarioFailure:
            raise
        except Exception as e:  # a widget that went away while it was read
            last_error = e
        if time.monotonic() >= deadline:
            return None, last_error
        time.sleep(interval)


def wait_for(probe, timeout, what, interval=0.1):
    """Calls probe until it returns something true and returns that; fails naming what was awaited."""
    result, last_error = _poll(probe, timeout, interval)
    if not result:
        detail = f" (last error: {last_error!r})" if last_error else ""
        raise ScenarioFailure(f"timed out after {timeout:.0f} s waiting for {what}{detail}")
    return result


def poll(probe, timeout, interval=0.1):
    """What probe returns once it is true, or None when the time is up."""
    return _poll(probe, timeout, interval)[0]


def run_tool(*args, timeout=10):
    return subprocess.run(args, check=True, capture_output=True, text=True, timeout=timeout).stdout


# ---------------------------------------------------------------- the display


class Display:
    """A virtual screen of its own with openbox on it; the display number is the first free one."""

    def __init__(self, log_dir):
        self._log_dir = log_dir
        self._procs = []
        self.name = None

    def start(self):
        read_fd, write_fd = os.pipe()
        with open(os.path.join(self._log_dir, "xvfb.log"), "wb") as log:
            xvfb = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", f"{SCREEN[0]}x{SCREEN[1]}x24",
                 "-nolisten", "tcp", "-noreset"],
                pass_fds=(write_fd,), stdout=log, stderr=log)
        self._procs.append(xvfb)
        os.close(write_fd)
        with os.fdopen(read_fd, "rb") as pipe:
            number = pipe.readline().strip()
        if not number:
            with open(os.path.join(self._log_dir, "xvfb.log"), errors="replace") as log:
                raise ScenarioFailure("the virtual display did not start:\n" + log.read())
        self.name = ":" + number.decode()
        os.environ["DISPLAY"] = self.name

        with open(os.path.join(self._log_dir, "openbox.log"), "wb") as log:
            self._procs.append(subprocess.Popen(["openbox"], stdout=log, stderr=log))
        wait_for(lambda: "window id" in run_tool("xprop", "-root", "_NET_SUPPORTING_WM_CHECK"), 15,
                 "the window manager")
        return self

    def stop(self):
        for p in reversed(self._procs):
            stop_process(p)
        self._procs.clear()

    def screenshot(self, path):
        subprocess.run(["import", "-window", "root", path], capture_output=True, timeout=20)


def stop_process(proc, grace=3):
    if proc.poll() is not None:
        return proc.returncode
    proc.terminate()
    try:
        return proc.wait(grace)
    except subprocess.TimeoutExpired:
        proc.kill()
        return proc.wait(grace)


# ---------------------------------------------------------------- accessibility tree


def role(acc):
    return acc.getRoleName()


def showing(acc):
    return acc.getState().contains(_atspi().STATE_SHOWING)


def closed(acc):
    """True once a window no longer shows, also when it is gone altogether."""
    pyatspi = _atspi()
    try:
        state = acc.getState()
        return state.contains(pyatspi.STATE_DEFUNCT) or not state.contains(pyatspi.STATE_SHOWING)
    except Exception:
        return True


def enabled(acc):
    return acc.getState().contains(_atspi().STATE_ENABLED)


def descendants(root):
    """Every accessible below root, depth first; the tree is small enough to walk whole."""
    stack = [root]
    while stack:
        acc = stack.pop()
        children = [c for c in acc if c is not None]
        stack.extend(reversed(children))
        if acc is not root:
            yield acc


def find_all(root, role_name=None, name=None, only_showing=True, pred=None):
    found = []
    for acc in descendants(root):
        if role_name is not None and role(acc) != role_name:
            continue
        if name is not None and acc.name != name:
            continue
        if only_showing and not showing(acc):
            continue
        if pred is not None and not pred(acc):
            continue
        found.append(acc)
    return found


def find(root, role_name=None, name=None, only_showing=True, pred=None):
    found = find_all(root, role_name, name, only_showing, pred)
    return found[0] if found else None


def wait_find(root, role_name=None, name=None, timeout=10, pred=None, what=None):
    what = what or " ".join(x for x in (role_name or "a widget", repr(name) if name is not None else "") if x)
    return wait_for(lambda: find(root, role_name, name, True, pred), timeout, what)


def text_of(acc):
    try:
        return acc.queryText().getText(0, -1)
    except NotImplementedError:
        return acc.name


def labelled(root, label, role_name="text", below=False, timeout=10):
    """The widget that a label names (the toolkit's fields carry no name of their own): the
    nearest one of role_name to the label's right on the same line, or with below, the nearest
    one under the label that shares some of its width."""

    def probe():
        names = find(root, "label", label)
        if names is None:
            return None
        lx, ly, lw, lh = extents(names)
        middle = ly + lh // 2
        near = []
        for widget in find_all(root, role_name):
            x, y, w, h = extents(widget)
            if below and y >= ly + lh - 2 and x < lx + lw and x + w > lx:  # the label may touch it
                near.append((y - (ly + lh), widget))
            elif not below and x >= lx + lw and y <= middle <= y + h:
                near.append((x - (lx + lw), widget))
        return min(near, key=lambda t: t[0])[1] if near else None

    return wait_for(probe, timeout, f"the {role_name} {'below' if below else 'beside'} {label!r}")


def text_beside(root, label, timeout=10):
    """The text field to the right of a label."""
    return labelled(root, label, timeout=timeout)


def inside(inner, outer):
    """True when inner shows within outer's extents (a group box does not hold its controls in
    the tree, it only frames them on the screen)."""
    x, y, w, h = extents(inner)
    ox, oy, ow, oh = extents(outer)
    return ox <= x and oy <= y and x + w <= ox + ow and y + h <= oy + oh


def checked(acc):
    return acc.getState().contains(_atspi().STATE_CHECKED)


def table_rows(table):
    """A list or table's cells as the window shows them, row by row."""
    cells = table.queryTable()
    return [[text_of(cells.getAccessibleAt(r, c)) for c in range(cells.nColumns)] for r in range(cells.nRows)]


def focused(root):
    """The widget under root that has the keyboard focus, or None."""
    pyatspi = _atspi()
    return find(root, pred=lambda a: a.getState().contains(pyatspi.STATE_FOCUSED))


def extents(acc):
    e = acc.queryComponent().getExtents(_atspi().DESKTOP_COORDS)
    return e.x, e.y, e.width, e.height


# ---------------------------------------------------------------- mouse and keyboard


def click(acc, button=1):
    """A mouse click at the middle of the widget as it shows on the screen."""
    x, y, w, h = wait_for(lambda: _usable_extents(acc), 5, f"on-screen extents of {role(acc)} {acc.name!r}")
    move_pointer(x + w // 2, y + h // 2)
    run_tool("xdotool", "click", str(button))


def move_pointer(x, y):
    # xdotool's --sync waits for the pointer to move, for ever when it is already there.
    here = dict(f.split(":") for f in run_tool("xdotool", "getmouselocation").split() if ":" in f)
    if (int(here["x"]), int(here["y"])) != (x, y):
        run_tool("xdotool", "mousemove", "--sync", str(x), str(y))


def _usable_extents(acc):
    x, y, w, h = extents(acc)
    if w <= 1 or h <= 1 or x < 0 or y < 0 or x >= SCREEN[0] or y >= SCREEN[1]:
        return None
    return x, y, w, h


def drag_files(paths, x, y, timeout=20):
    """Drags files from another program's window (tests/e2e/drag_source.py) and drops them at
    (x, y) on the screen, as from a file manager: the toolkit's own drag, the X drag-and-drop
    protocol between two programs. Returns what the source heard: "dropped", or "refused WHY"."""
    title = f"drag source {os.getpid()}"
    script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "drag_source.py")
    env = dict(os.environ, NO_AT_BRIDGE="1", GSETTINGS_BACKEND="memory")
    source = subprocess.Popen([sys.executable, script, title] + list(paths), env=env, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, text=True, stdin=subprocess.DEVNULL)
    try:
        if source.stdout.readline().strip() != "ready":
            raise ScenarioFailure(f"the drag source did not start: {source.stderr.read()}")
        window = wait_for(lambda: run_tool("xdotool", "search", "--name", f"^{title}$").split()[:1], 10,
                          "the drag source's window")[0]
        # Out of the program's way, in the screen's corner.
        sx, sy = SCREEN[0] - 140, SCREEN[1] - 100
        run_tool("xdotool", "windowmove", window, str(sx), str(sy))
        gx, gy, gw, gh = wait_for(lambda: (lambda g: g if g[0] >= sx and g[1] >= sy else None)(x_geometry(window)), 10,
                                  "the drag source in its corner")
        move_pointer(gx + gw // 2, gy + gh // 2)
        run_tool("xdotool", "mousedown", "1")
        # Small steps first, past the toolkit's drag threshold, then on to the target.
        for i in range(1, 6):
            run_tool("xdotool", "mousemove", str(gx + gw // 2 - 4 * i), str(gy + gh // 2 - 4 * i))
            time.sleep(0.05)
        steps = 12
        fx, fy = gx + gw // 2 - 20, gy + gh // 2 - 20
        for i in range(1, steps + 1):
            run_tool("xdotool", "mousemove", str(fx + (x - fx) * i // steps), str(fy + (y - fy) * i // steps))
            time.sleep(0.05)
        time.sleep(0.5)  # the target's drag-motion answer
        run_tool("xdotool", "mouseup", "1")
        answer = poll(lambda: source.stdout.readline().strip(), timeout)
        check(answer, "the drag did not end")
        return answer
    finally:
        stop_process(source)


def copied_text(copy, timeout=10):
    """What the clipboard holds after copy() has put it there. Emptied first, so that a copy that
    did not happen is not taken for an earlier one (xclip keeps the empty text until the display
    ends or someone copies)."""
    subprocess.run(["xclip", "-selection", "clipboard", "-i", "/dev/null"], check=True, timeout=10,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    copy()
    return wait_for(lambda: run_tool("xclip", "-o", "-selection", "clipboard"), timeout, "text on the clipboard")


def key(*keys):
    run_tool("xdotool", "key", "--clearmodifiers", *keys)


_keyed = {}  # display -> the characters beyond ASCII that have a key of their own there


def _give_keys(chars):
    """Puts characters on unused keys of the display's keyboard, once. xdotool types a character
    that has no key by changing the keyboard's map for it and back; the toolkit reads the changed
    map late now and then, and the character is lost or comes out as another."""
    from ctypes import POINTER, byref, c_char_p, c_int, c_ubyte, c_ulong, c_void_p
    keyed = _keyed.setdefault(os.environ.get("DISPLAY"), set())
    chars = sorted(set(chars) - keyed)
    if not chars:
        return
    x = ctypes.CDLL("libX11.so.6")
    x.XOpenDisplay.restype = c_void_p
    x.XOpenDisplay.argtypes = [c_char_p]
    x.XDisplayKeycodes.argtypes = [c_void_p, POINTER(c_int), POINTER(c_int)]
    x.XGetKeyboardMapping.restype = POINTER(c_ulong)
    x.XGetKeyboardMapping.argtypes = [c_void_p, c_ubyte, c_int, POINTER(c_int)]
    x.XChangeKeyboardMapping.argtypes = [c_void_p, c_int, c_int, POINTER(c_ulong), c_int]
    x.XFree.argtypes = [c_void_p]
    x.XSync.argtypes = [c_void_p, c_int]
    x.XCloseDisplay.argtypes = [c_void_p]
    display = x.XOpenDisplay(None)
    check(display, "the display cannot be reached to give characters a key")
    low, high, width = c_int(), c_int(), c_int()
    x.XDisplayKeycodes(display, byref(low), byref(high))
    keymap = x.XGetKeyboardMapping(display, low.value, high.value - low.value + 1, byref(width))
    unused = [k for k in range(max(low.value, 9), high.value + 1)
              if not any(keymap[(k - low.value) * width.value + i] for i in range(width.value))]
    x.XFree(keymap)
    for char, keycode in zip(chars, unused):
        code = ord(char)
        keysym = code if code <= 0xFF else 0x1000000 + code  # Latin-1, else the Unicode keysym
        x.XChangeKeyboardMapping(display, keycode, 2, (c_ulong * 2)(keysym, keysym), 1)
        keyed.add(char)
    x.XSync(display, 0)
    x.XCloseDisplay(display)
    time.sleep(0.5)  # the toolkit reads the new map


def type_text(text):
    _give_keys(c for c in text if ord(c) > 0x7F)
    # xdotool types a line break as Linefeed, which the toolkit's text fields ignore: Return instead.
    for n, line in enumerate(text.split("\n")):
        if n:
            key("Return")
        if line:
            run_tool("xdotool", "type", "--clearmodifiers", "--delay", "12", line, timeout=60)


# ---------------------------------------------------------------- the program


class App:
    """One run of the program: started like a user starts it, with the given profile folder as
    home (so the per-user profile is there and nowhere else), stdout and stderr kept in files."""

    def __init__(self, exe, profile_dir, log_dir, args=(), label="run", bare=False, env=None, locale="C.UTF-8"):
        self.exe = exe
        self.profile_dir = profile_dir
        self.args = list(args)
        self.bare = bare
        self.env = dict(env or {})  # set last, over everything else
        self.locale = locale
        self.stdout_path = os.path.join(log_dir, f"{label}.stdout")
        self.stderr_path = os.path.join(log_dir, f"{label}.stderr")
        self.proc = None
        self.returncode = None
        self.notes = []  # what had to be retried, for the report
        self._settled = False

    def start(self):
        env = self._bare_environment() if self.bare else self._test_environment()
        env.update(self.env)
        os.makedirs(self.profile_dir, exist_ok=True)
        with open(self.stdout_path, "wb") as out, open(self.stderr_path, "wb") as err:
            self.proc = subprocess.Popen([self.exe] + self.args, env=env, stdout=out, stderr=err,
                                         stdin=subprocess.DEVNULL, cwd=self.profile_dir)
        return self

    def _test_environment(self):
        env = dict(os.environ)
        # Without TESSARY_TDB the program reads the controller database built beside it.
        for name in ("NO_AT_BRIDGE", "LC_ALL", "LANGUAGE", "GTK_THEME", "TESSARY_TDB"):
            env.pop(name, None)
        env.update({
            "HOME": self.profile_dir,
            "XDG_CONFIG_HOME": os.path.join(self.profile_dir, ".config"),
            # The toolkit's own settings (the file dialog's last folder and size) start afresh too.
            "GSETTINGS_BACKEND": "memory",
            "GTK_MODULES": "gail:atk-bridge",
        })
        # LANG as a user has it; None: not set at all.
        env.pop("LANG", None)
        if self.locale is not None:
            env["LANG"] = self.locale
        return _with_sanitizer_options(env)

    def _bare_environment(self):
        """What a desktop session gives a program it starts, and nothing of the build or the
        tests: the display, a home (the profile folder) and the session bus, which the
        accessibility tree is reached through. The toolkit's settings stay in memory, where the
        session's settings service would keep them in the runner's own home."""
        env = {"DISPLAY": os.environ["DISPLAY"], "HOME": self.profile_dir, "GSETTINGS_BACKEND": "memory"}
        if "DBUS_SESSION_BUS_ADDRESS" in os.environ:
            env["DBUS_SESSION_BUS_ADDRESS"] = os.environ["DBUS_SESSION_BUS_ADDRESS"]
        for name in ("ASAN_OPTIONS", "UBSAN_OPTIONS"):
            if name in os.environ:
                env[name] = os.environ[name]
        return _with_sanitizer_options(env)

    @property
    def pid(self):
        return self.proc.pid

    def running(self):
        return self.proc is not None and self.proc.poll() is None

    def accessible(self, timeout=30):
        """The program's application node in the accessibility tree."""
        pyatspi = _atspi()

        def probe():
            check(self.running(), f"the program ended (exit code {self.proc.returncode}); stderr:\n{self.stderr()}")
            desktop = pyatspi.Registry.getDesktop(0)
            for a in desktop:
                if a is not None and a.get_process_id() == self.pid:
                    return a
            return None

        return wait_for(probe, timeout, "the program in the accessibility tree")

    def main_window(self, timeout=30):
        """The main frame, once it shows; the first time also once it stays in its place."""
        app = self.accessible(timeout)
        frame = wait_for(lambda: self._main_frame(app), timeout, "the main window to show")
        if not self._settled:
            self.geometry(timeout)
            self._settled = True
        return frame

    def _main_frame(self, app):
        check(self.running(), f"the program ended (exit code {self.proc.returncode}); stderr:\n{self.stderr()}")
        for w in app:
            if w is not None and role(w) == "frame" and w.name.startswith(APP_TITLE) and showing(w):
                return w
        return None

    def title(self):
        frame = self._main_frame(self.accessible())
        return frame.name if frame else None

    def wait_title(self, expected, timeout=10):
        if not poll(lambda: self.title() == expected, timeout):
            raise ScenarioFailure(f"the main window's title is {self.title()!r}, not {expected!r}")

    def dialog(self, name=None, roles=("dialog", "file chooser", "alert"), timeout=10):
        """A top-level dialog of the program that shows, optionally by its title."""
        app = self.accessible()

        def probe():
            for w in app:
                if w is not None and role(w) in roles and showing(w) and (name is None or w.name == name):
                    return w
            return None

        return wait_for(probe, timeout, f"a dialog {name!r}" if name else "a dialog")

    def dialogs(self):
        app = self.accessible()
        return [w for w in app if w is not None and role(w) in ("dialog", "file chooser", "alert") and showing(w)]

    def wait_no_dialog(self, timeout=10):
        wait_for(lambda: not self.dialogs(), timeout, "every dialog to close")

    def menu(self, menu_name, item_name, timeout=10):
        """Opens a menu of the menu bar with the mouse and clicks one of its items."""
        frame = self.main_window()
        bar = wait_find(frame, "menu bar", timeout=timeout)
        menu = wait_for(lambda: _menu_child(bar, menu_name), timeout, f"menu {menu_name!r}")
        for _ in range(3):
            click(menu)
            item = poll(lambda: _menu_child(menu, item_name, opened=True), 2)
            if item:
                break
            shown = [c.name for c in menu if c is not None and _usable_extents(c)]
            check(not shown, f"menu {menu_name!r} has no item {item_name!r}: it shows {shown}")
            # The click missed (the window still moving, the menu slow to open): again.
            self.notes.append(f"menu {menu_name!r} clicked again")
        else:
            raise ScenarioFailure(f"menu {menu_name!r} did not open")
        check(enabled(item), f"menu item {item_name!r} is disabled")
        click(item)

    def popup_item(self, item_name, timeout=10):
        """An item of the popup menu that shows (a window of its own in the tree)."""
        app = self.accessible()

        def probe():
            for w in app:
                if w is None or role(w) != "window" or not showing(w):
                    continue
                for menu in w:
                    item = menu is not None and _menu_child(menu, item_name, opened=True)
                    if item:
                        return item
            return None

        return wait_for(probe, timeout, f"the popup menu item {item_name!r}")

    def menu_items(self, menu_name):
        """The labels of a menu bar menu's items, without opening it."""
        bar = find(self.main_window(), "menu bar")
        menu = _menu_child(bar, menu_name)
        check(menu is not None, f"no menu {menu_name!r} in the menu bar")
        return [c.name for c in menu if c is not None and role(c) != "separator"]

    def wait_exit(self, timeout=20):
        try:
            self.returncode = self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            raise ScenarioFailure(f"the program did not end within {timeout} s")
        return self.returncode

    def kill(self):
        if self.proc is not None:
            self.returncode = stop_process(self.proc)

    def stderr(self):
        with open(self.stderr_path, errors="replace") as f:
            return f.read()

    def stdout(self):
        with open(self.stdout_path, errors="replace") as f:
            return f.read()

    # ------------------------------------------------------------ X window

    def x_window(self, timeout=10):
        """The X window of the main frame."""
        def probe():
            out = subprocess.run(["xdotool", "search", "--all", "--onlyvisible", "--pid", str(self.pid), "--name",
                                  "^" + APP_TITLE], capture_output=True, text=True).stdout.split()
            return out[0] if len(out) == 1 else None
        return wait_for(probe, timeout, "the main window's X window")

    def geometry(self, timeout=10):
        """Where the X server has the main window's client area: (x, y, width, height), once it
        stays put for a moment (the window manager may still be placing it)."""
        window = self.x_window(timeout)
        samples = []

        def settled():
            samples.append(x_geometry(window))
            return samples[-1] if len(samples) >= 4 and len(set(samples[-4:])) == 1 else None

        return wait_for(settled, timeout, "the main window to stay in one place", interval=0.15)


def _with_sanitizer_options(env):
    # The toolkit keeps caches for the life of the process, which the leak checker would report.
    env["ASAN_OPTIONS"] = (env.get("ASAN_OPTIONS", "") + ":detect_leaks=0").lstrip(":")
    return env


def _menu_child(parent, label, opened=False):
    for c in parent:
        if c is None or c.name != label or not role(c).endswith("menu item") and role(c) != "menu":
            continue
        if opened and _usable_extents(c) is None:
            continue
        return c
    return None


def x_geometry(window):
    """Position of the window's top-left corner on the screen and its size, as the X server says."""
    values = {}
    for line in run_tool("xwininfo", "-id", str(window)).splitlines():
        k, _, v = line.strip().partition(":")
        values[k] = v.strip()
    return (int(values["Absolute upper-left X"]), int(values["Absolute upper-left Y"]),
            int(values["Width"]), int(values["Height"]))


# ---------------------------------------------------------------- dialogs of the toolkit


def file_dialog(app, title, path, timeout=15):
    """Answers the real file dialog titled title: Ctrl+L, the path typed in the location field,
    Return. Returns once the dialog has taken the answer (it closed, or it asks something)."""
    chooser = app.dialog(title, roles=("file chooser", "dialog"), timeout=timeout)
    key("ctrl+l")
    entry = wait_for(lambda: _focused_entry(chooser), timeout, f"the location field of {title!r}")
    for _ in range(3):
        key("ctrl+a")
        type_text(path)
        # GTK completes what is typed; what counts is that the field holds the path.
        if poll(lambda: text_of(entry) == path, 3):
            break
    check(text_of(entry) == path, f"the location field of {title!r} holds {text_of(entry)!r}, not {path!r}")
    # GTK's location field does not hear a Return that follows the typing at once (its
    # completion is still at work): a moment first, and a Return repeated while nothing else
    # has come up.
    time.sleep(0.3)
    key("Return")
    for _ in range(2):
        if poll(lambda: _took_answer(app, chooser), 3):
            return chooser
        app.notes.append(f"Return repeated in {title!r}")
        key("Return")
    wait_for(lambda: _took_answer(app, chooser), timeout, f"the file dialog {title!r} to take {path!r}")
    return chooser


def _took_answer(app, chooser):
    pyatspi = _atspi()
    if any(role(w) == "alert" for w in app.dialogs()) or closed(chooser):
        return True
    try:
        return not chooser.getState().contains(pyatspi.STATE_ACTIVE)
    except Exception:  # the dialog is gone
        return True


def _focused_entry(root):
    pyatspi = _atspi()
    return find(root, "text", pred=lambda a: a.getState().contains(pyatspi.STATE_FOCUSED))


class MessageBox:
    """A message box or question as the window shows it."""

    def __init__(self, app, acc):
        self.app = app
        self.acc = acc
        labels = [text_of(a) for a in find_all(acc, "label")]
        self.text = "\n".join(t for t in labels if t)
        self.buttons = {b.name: b for b in find_all(acc, "push button")}

    def press(self, *names):
        """Clicks the first of the named buttons that the box has."""
        for name in names:
            if name in self.buttons:
                click(self.buttons[name])
                wait_for(lambda: closed(self.acc), 10, f"the message box to close after {name!r}")
                return name
        raise ScenarioFailure(f"the message box has none of the buttons {names}; it has {list(self.buttons)}")


def message_box(app, timeout=10):
    return MessageBox(app, app.dialog(roles=("alert",), timeout=timeout))


def same_text(shown, expected):
    """Compares texts as the window shows them: the toolkit may wrap or split lines."""
    return " ".join(shown.split()) == " ".join(expected.split())


# ---------------------------------------------------------------- one scenario's world


class Context:
    """What a scenario gets: its own folder (profiles, documents, logs; the runner removes it),
    the display, and a way to start the program. Everything it started is ended when the
    scenario is over."""

    def __init__(self, exe, name, root):
        self.exe = exe
        self.name = name
        self.root = root
        self.docs = os.path.join(root, "docs")
        self.logs = os.path.join(root, "logs")
        os.makedirs(self.docs)
        os.makedirs(self.logs)
        self.display = Display(self.logs)
        self.apps = []

    def profile(self, name="profile"):
        return os.path.join(self.root, name)

    def start_app(self, args=(), profile=None, label=None, bare=False, env=None, locale="C.UTF-8"):
        """bare: with only what a desktop session gives a program (App._bare_environment); env: set
        over everything else; locale: LANG for the test environment (None: not set at all)."""
        app = App(self.exe, profile or self.profile(), self.logs, args, label or f"run{len(self.apps) + 1}", bare, env,
                  locale)
        self.apps.append(app)
        return app.start()

    def close(self, screenshot=None):
        """Ends all; with screenshot, first keeps a picture of the screen there."""
        if screenshot and self.display.name:
            self.display.screenshot(screenshot)
        for app in self.apps:
            app.kill()
        self.display.stop()
        # Nothing the scenario started outlives it (xclip's own holders of what it was given, and
        # what the program left).
        end_orphans()


# ---------------------------------------------------------------- processes the program leaves


def adopt_orphans():
    """Makes this process the parent of whatever the program leaves running when it ends, so that
    a scenario can see it and end it."""
    PR_SET_CHILD_SUBREAPER = 36
    ctypes.CDLL(None, use_errno=True).prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0)


def _stat(pid):
    """(name, state, parent) of a process, or None when it is gone."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            text = f.read()
    except OSError:
        return None
    name = text[text.index("(") + 1:text.rindex(")")]
    state, parent = text[text.rindex(")") + 2:].split()[:2]
    return name, state, int(parent)


def orphans(name=None, living=True):
    """The processes this one adopted (or started and forgot), optionally by name; with living,
    those that have not ended."""
    found = []
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            st = _stat(int(entry))
            if st and st[2] == os.getpid() and not (living and st[1] == "Z") and (name is None or st[0] == name):
                found.append(int(entry))
    return found


def ended(pid):
    """True once an adopted process has ended; it is then reaped."""
    st = _stat(pid)
    if st is not None and st[1] != "Z":
        return False
    try:
        os.waitpid(pid, os.WNOHANG)
    except ChildProcessError:
        pass
    return True


def end_orphans():
    """Ends and reaps every process this one adopted."""
    for pid in orphans(living=False):
        try:
            os.kill(pid, signal.SIGKILL)
            os.waitpid(pid, 0)
        except (ProcessLookupError, ChildProcessError):
            pass


def alarm(seconds):
    """Ends the scenario with a failure when it runs longer than its budget."""

    def expired(signum, frame):
        raise ScenarioFailure(f"the scenario ran past its budget of {seconds} s")

    signal.signal(signal.SIGALRM, expired)
    signal.alarm(seconds)
