"""The end-to-end scenarios. Each gets a fresh profile and folder (ctx) and a screen of its own;
register a new one with @scenario and it becomes a CTest test of its own."""

import os

from app_driver import (APP_TITLE, MessageBox, ScenarioFailure, check, click, file_dialog, find, key, message_box,
                        poll, role, run_tool, same_text, text_beside, text_of, wait_for)

SCENARIOS = {}


def scenario(budget=60):
    """budget: seconds after which the scenario fails by itself."""

    def register(function):
        SCENARIOS[function.__name__] = (function, budget)
        return function

    return register


# ---------------------------------------------------------------- helpers shared by scenarios


def damaged_document(ctx, name="damaged.rvq"):
    """A document cut short: the file's signature and format version, then a checksum that does
    not match."""
    path = os.path.join(ctx.docs, name)
    with open(path, "wb") as f:
        f.write(bytes([0x89]) + b"RVQ\r\n\x1a\n" + (1).to_bytes(4, "little") + b"\0\0\0\0")
    return path


def file_state(path):
    """What must not change when a file is left alone: its bytes, and the file itself (a file
    replaced by one with the same bytes is a new file)."""
    st = os.stat(path)
    with open(path, "rb") as f:
        return {"bytes": f.read(), "inode": st.st_ino, "mtime_ns": st.st_mtime_ns}


def changes(before, after):
    return [k for k in before if before[k] != after[k]]


def exit_by_menu(app):
    app.menu("File", "Exit")
    code = app.wait_exit()
    check(code == 0, f"the program ended with exit code {code}")


def cancel_file_dialogs(app):
    for chooser in app.dialogs():
        if role(chooser) == "file chooser":
            cancel = find(chooser, "push button", "Cancel")
            check(cancel is not None, f"the file dialog {chooser.name!r} has no Cancel button")
            click(cancel)


# ---------------------------------------------------------------- scenarios


@scenario()
def normal_start_prints_nothing(ctx):
    app = ctx.start_app()
    app.main_window()
    app.geometry()  # shown, placed and idle
    check(app.title() == APP_TITLE, f"the main window's title is {app.title()!r}")
    exit_by_menu(app)
    # What was printed is in the report below the failure.
    check(app.stderr() == "", "a normal start and exit printed on stderr")
    check(app.stdout() == "", "a normal start and exit printed on stdout")


@scenario()
def new_document(ctx):
    app = ctx.start_app()
    app.main_window()
    check(app.title() == APP_TITLE, f"a start without arguments opened something: the title is {app.title()!r}")
    check("Save As..." not in app.menu_items("File"), "the File menu offers Save As with no document open")

    app.menu("File", "New")
    app.wait_title(f"{APP_TITLE} - Varnix1")
    items = app.menu_items("File")
    for item in ("Close", "Save", "Save As..."):
        check(item in items, f"with a document open the File menu has no {item!r}: {items}")

    # The keyboard way makes the next one.
    key("ctrl+n")
    app.wait_title(f"{APP_TITLE} - Varnix2")
    # New documents are unmodified: Exit asks nothing.
    exit_by_menu(app)


@scenario()
def open_damaged_document(ctx):
    path = damaged_document(ctx)
    before = file_state(path)
    app = ctx.start_app()
    app.main_window()

    app.menu("File", "Open...")
    file_dialog(app, "Open", path)
    box = message_box(app, timeout=15)
    expected = f"{path}\nis damaged or incomplete and cannot be opened."
    check(same_text(box.text, expected), f"the message box says {box.text!r}, not {expected!r}")
    box.press("OK")
    app.wait_no_dialog()

    check(app.title() == APP_TITLE, f"a document window is open after the failed open: {app.title()!r}")
    recent = [i for i in app.menu_items("File") if os.path.basename(path) in i]
    check(not recent, f"the damaged document went into the recent files: {recent}")
    check(not changes(before, file_state(path)), "opening the damaged document changed the file")
    exit_by_menu(app)


@scenario()
def damaged_document_on_command_line(ctx):
    path = damaged_document(ctx)
    app = ctx.start_app(args=[path])
    box = message_box(app, timeout=30)
    expected = f"{path}\nis damaged or incomplete and cannot be opened."
    check(same_text(box.text, expected), f"the message box says {box.text!r}, not {expected!r}")
    box.press("OK")
    # The document it was asked for cannot be had: the program ends.
    code = app.wait_exit(15)
    check(code != 0, "start-up with a damaged document ended with exit code 0")


@scenario(budget=90)
def save_as_without_extension_over_existing(ctx):
    kept = os.path.join(ctx.docs, "kept.rvq")
    typed = os.path.join(ctx.docs, "kept")
    app = ctx.start_app()
    app.main_window()

    # A new name typed without the extension is saved with it.
    app.menu("File", "New")
    app.wait_title(f"{APP_TITLE} - Varnix1")
    app.menu("File", "Save As...")
    # What the dialog offers: the document's name with the extension.
    offered = text_beside(app.dialog("Save As"), "Name:")
    check(poll(lambda: text_of(offered) == "Varnix1.rvq", 5),
          f"the Save As dialog offers {text_of(offered)!r}, not 'Varnix1.rvq'")
    file_dialog(app, "Save As", typed)
    app.wait_title(f"{APP_TITLE} - kept.rvq", timeout=20)
    check(os.path.isfile(kept), "Save As 'kept' wrote no kept.rvq")
    check(not os.path.exists(typed), "Save As 'kept' wrote a file without the extension")
    before = file_state(kept)

    # The same name again, from another document: kept.rvq exists, so someone must ask.
    app.menu("File", "New")
    app.wait_title(f"{APP_TITLE} - Varnix2")
    app.menu("File", "Save As...")
    file_dialog(app, "Save As", typed)

    def question_or_replaced():
        for w in app.dialogs():
            if role(w) == "alert":
                return MessageBox(app, w)
        if os.path.exists(kept) and changes(before, file_state(kept)):
            return "replaced"
        if app.title() != f"{APP_TITLE} - Varnix2":
            return "retitled"
        return None

    outcome = wait_for(question_or_replaced, 20, "a question before kept.rvq is replaced")
    if not isinstance(outcome, MessageBox):
        raise ScenarioFailure(
            f"Save As with 'kept' typed over the existing kept.rvq asked nothing: the file was "
            f"{'replaced' if outcome == 'replaced' else 'saved over'} (changed: {changes(before, file_state(kept))}, "
            f"window title {app.title()!r})")
    check("kept.rvq" in outcome.text, f"the question does not name the file it would replace: {outcome.text!r}")
    outcome.press("No", "Cancel")
    # The user gives up: a file dialog still or again open is cancelled.
    cancel_file_dialogs(app)
    app.wait_no_dialog()

    check(not changes(before, file_state(kept)),
          f"after No, kept.rvq changed: {changes(before, file_state(kept))}")
    check(not os.path.exists(typed), "after No, a file without the extension was written")
    check(app.title() == f"{APP_TITLE} - Varnix2", f"after No the document was renamed: {app.title()!r}")
    exit_by_menu(app)


@scenario(budget=90)
def placement_restored_after_restart(ctx):
    first = ctx.start_app(label="first")
    first.main_window()
    placed = first.geometry()
    # Where the user leaves it: somewhere neither the program nor the window manager would put it.
    window = first.x_window()
    run_tool("xdotool", "windowsize", window, "812", "603")
    run_tool("xdotool", "windowmove", window, "137", "91")
    left = wait_for(lambda: _moved(first, placed), 10, "the main window to move and resize")
    exit_by_menu(first)

    second = ctx.start_app(label="second")
    second.main_window()
    # The program may place its window only once it shows: a few seconds to get there.
    try:
        wait_for(lambda: second.geometry() == left, 5, "the main window to come back where it was left")
    except ScenarioFailure:
        shown = second.geometry()
        raise ScenarioFailure(f"the main window was left at {_fmt(left)} and came back at {_fmt(shown)} "
                              f"(first placed at {_fmt(placed)})")
    exit_by_menu(second)


def _moved(app, placed):
    g = app.geometry()
    return g if g != placed and g[2:] == (812, 603) else None


def _fmt(g):
    return f"{g[2]}x{g[3]}+{g[0]}+{g[1]}"
