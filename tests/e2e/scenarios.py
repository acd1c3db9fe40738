"""The end-to-end scenarios. Each gets a fresh profile and folder (ctx) and a screen of its own;
register a new one with @scenario and it becomes a CTest test of its own."""

import os
import time
from collections import namedtuple

from app_driver import (APP_TITLE, SCREEN, MessageBox, ScenarioFailure, check, checked, click, closed, copied_text,
                        drag_files, enabled, extents, file_dialog, find, find_all, focused, inside, key, labelled,
                        message_box, poll, role, run_tool, same_text, text_beside, text_of, type_text, wait_find,
                        wait_for)

SCENARIOS = {}


def scenario(budget=60, name=None):
    """budget: seconds after which the scenario fails by itself; name: the function's own unless given."""

    def register(function):
        SCENARIOS[name or function.__name__] = (function, budget)
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


# ---------------------------------------------------------------- the update form

SAMPLES_DIR = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "samples"))
Sample = namedtuple("Sample", "path calibration_id software_id")
# The samples' IDs as the controller database built beside the program resolves them.
SAMPLES = {
    "plain": Sample(os.path.join(SAMPLES_DIR, "sample-plain.sr"), "TS100-CAL-0017A1", "TS100-SW-0A1"),
    "protected": Sample(os.path.join(SAMPLES_DIR, "sample-protected.srz"), "TS200-CAL-0017B2", "TS200-SW-0B2"),
}
UPGRADE_GROUP = "Software Upgrade (.srz or .sr file)"
UPGRADE_FIELDS = ("Calibration ID", "Software ID", "Size (bytes)")
ACTIONS = ("Clear Runtime", "Clear Fault History", "Reset Breakin")
TARGETS_LABEL = "Calibrations this upgrade can replace"
TARGET_COLUMNS = ["CalibrationID", "SoftwareID"]


def new_form(app):
    """A new document's window; returns the main window that holds its form."""
    app.main_window()
    app.menu("File", "New")
    app.wait_title(f"{APP_TITLE} - Varnix1")
    return app.main_window()


def browse_upgrade(app, path):
    """The software upgrade's "Browse" (not the image's), answered with path."""
    frame = app.main_window()
    group = wait_find(frame, "panel", UPGRADE_GROUP)
    click(wait_find(frame, "push button", "Browse", pred=lambda b: inside(b, group),
                    what=f"the Browse button of {UPGRADE_GROUP!r}"))
    file_dialog(app, "Open", path)
    app.wait_no_dialog()


def upgrade_shown(frame):
    return {label: text_of(text_beside(frame, label)) for label in UPGRADE_FIELDS}


def expect_upgrade(app, sample, timeout=10):
    """The form shows the sample's IDs and the file's length."""
    frame = app.main_window()
    expected = dict(zip(UPGRADE_FIELDS, (sample.calibration_id, sample.software_id, str(os.path.getsize(sample.path)))))
    if not poll(lambda: upgrade_shown(frame) == expected, timeout):
        said = [MessageBox(app, w).text for w in app.dialogs() if role(w) == "alert"]
        raise ScenarioFailure(f"for {os.path.basename(sample.path)} the form shows {upgrade_shown(frame)}, "
                              f"not {expected}" + (f"; a message box says {said}" if said else ""))


def comments_field(frame):
    return labelled(frame, "Comments", below=True)


def actions_shown(frame):
    return {name: checked(wait_find(frame, "check box", name)) for name in ACTIONS}


def target_rows(app):
    """The target list's rows, through its own "Copy To Clipboard" (the list draws its rows
    itself; the accessibility tree does not hold them)."""
    frame = app.main_window()
    click(labelled(frame, TARGETS_LABEL, role_name="scroll pane", below=True), button=3)
    item = app.popup_item("Copy To Clipboard")
    if not enabled(item):  # as it is exactly when the list has no row
        key("Escape")
        return []
    # Rows of tab-ended cells; the toolkit gives the clipboard the display's own line ends.
    rows = [line.split("\t") for line in copied_text(lambda: click(item)).splitlines()]
    check(rows and all(r[-1] == "" for r in rows), f"the list's copy is not rows of tab-ended cells: {rows!r}")
    rows = [r[:-1] for r in rows]
    check(rows[0] == TARGET_COLUMNS, f"the list's copy starts with {rows[0]}, not the column titles {TARGET_COLUMNS}")
    return rows[1:]


def update_form_picture(ctx, out):
    """The README's picture: a new document's form with the plain sample chosen through Browse."""
    app = ctx.start_app()
    new_form(app)
    browse_upgrade(app, SAMPLES["plain"].path)
    expect_upgrade(app, SAMPLES["plain"])
    # Nothing under the mouse (no highlight, no tooltip), and a moment to draw.
    run_tool("xdotool", "mousemove", "--sync", str(SCREEN[0] - 1), str(SCREEN[1] - 1))
    time.sleep(0.5)
    run_tool("import", "-window", app.x_window(), f"png:{out}", timeout=20)


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
    # What the dialog offers: the document's name, whose extension comes with the save.
    offered = text_beside(app.dialog("Save As"), "Name:")
    check(poll(lambda: text_of(offered) == "Varnix1", 5), f"the Save As dialog offers {text_of(offered)!r}, not 'Varnix1'")
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


def _browse_sample(sample_name):
    sample = SAMPLES[sample_name]

    @scenario(name=f"browse_{sample_name}_sample")
    def run(ctx):
        app = ctx.start_app()
        new_form(app)
        browse_upgrade(app, sample.path)
        expect_upgrade(app, sample)
        # The window says that the document has changed.
        app.wait_title(f"{APP_TITLE} - Varnix1*")
        app.menu("File", "Exit")
        box = message_box(app)
        check("Varnix1" in box.text, f"Exit asks about something else than the changed document: {box.text!r}")
        box.press("No")
        code = app.wait_exit()
        check(code == 0, f"the program ended with exit code {code}")
        # The form, the real Open dialog and the load print nothing.
        check(app.stderr() == "", "the form's Browse printed on stderr")


for _name in SAMPLES:
    _browse_sample(_name)


@scenario(budget=90)
def form_saved_and_reopened(ctx):
    upgrade, target = SAMPLES["plain"], SAMPLES["protected"]
    comment = "Bench unit 7, retest after the swap\nsecond line: 50% & <ok>"
    path = os.path.join(ctx.docs, "form.rvq")
    app = ctx.start_app()
    frame = new_form(app)

    browse_upgrade(app, upgrade.path)
    expect_upgrade(app, upgrade)
    comments = comments_field(frame)
    click(comments)
    type_text(comment)
    check(poll(lambda: text_of(comments) == comment, 10), f"the comments field holds {text_of(comments)!r}")
    click(wait_find(frame, "check box", "Clear Runtime"))
    ticked = {"Clear Runtime": True, "Clear Fault History": False, "Reset Breakin": False}
    check(poll(lambda: actions_shown(frame) == ticked, 5), f"after one click the actions show {actions_shown(frame)}")
    click(wait_find(frame, "push button", "Add"))
    file_dialog(app, "Open", target.path)
    app.wait_no_dialog()
    rows = [[target.calibration_id, target.software_id]]
    shown = target_rows(app)
    check(shown == rows, f"after Add the target list holds {shown}, not {rows}")

    app.menu("File", "Save As...")
    file_dialog(app, "Save As", path)
    app.wait_title(f"{APP_TITLE} - form.rvq", timeout=20)
    check(os.path.isfile(path), "Save As wrote no form.rvq")
    app.menu("File", "Close")
    app.wait_title(APP_TITLE)

    app.menu("File", "Open...")
    file_dialog(app, "Open", path)
    # Back unmodified: putting the document on the form is no edit.
    app.wait_title(f"{APP_TITLE} - form.rvq", timeout=20)
    expect_upgrade(app, upgrade)
    frame = app.main_window()
    shown = text_of(comments_field(frame))
    check(shown == comment, f"the comments came back as {shown!r}")
    shown = actions_shown(frame)
    check(shown == ticked, f"the actions came back as {shown}")
    shown = target_rows(app)
    check(shown == rows, f"the target list came back as {shown}, not {rows}")
    exit_by_menu(app)


# ---------------------------------------------------------------- the keyboard on the form


def form_stops(frame):
    """The form's tab stops in the form's order: (what, the widget) each."""
    upgrade = wait_find(frame, "panel", UPGRADE_GROUP)
    image = wait_find(frame, "panel", "Image")

    def browse(group, what):
        return (what, wait_find(frame, "push button", "Browse", pred=lambda b: inside(b, group), what=what))

    return [("the comments", comments_field(frame)),
            ("the target list", labelled(frame, TARGETS_LABEL, role_name="scroll pane", below=True)),
            *[(f"the {label!r} field", text_beside(frame, label)) for label in UPGRADE_FIELDS],
            browse(upgrade, "the upgrade's Browse"),
            ("Add", wait_find(frame, "push button", "Add")),
            ("Remove", wait_find(frame, "push button", "Remove")),
            browse(image, "the image's Browse"),
            *[(name, wait_find(frame, "check box", name)) for name in ACTIONS]]


def focused_stop(app, stops):
    """Which of the stops has the keyboard focus (the list's rows are a widget inside the list)."""
    acc = focused(app.accessible())
    if acc is None:
        return "nothing"
    for what, stop in stops:
        if inside(acc, stop):
            return what
    return f"something else: {role(acc)} {acc.name!r} at {extents(acc)}"


def focus_to(app, stops, what):
    """Tab until what has the focus."""
    for _ in range(len(stops) + 1):
        if focused_stop(app, stops) == what:
            return
        key("Tab")
        poll(lambda: focused_stop(app, stops) != "nothing", 2)
    raise ScenarioFailure(f"Tab never reached {what}: the focus is on {focused_stop(app, stops)}")


@scenario(budget=120)
def tab_goes_round_the_form_in_its_order(ctx):
    app = ctx.start_app()
    frame = new_form(app)
    stops = form_stops(frame)
    names = [what for what, _ in stops]
    start = names.index("the 'Calibration ID' field")
    click(stops[start][1])
    wait_for(lambda: focused_stop(app, stops) == names[start], 5, "the focus in the Calibration ID field")
    # Once round each way, back where it started: every stop in the form's order, and no other.
    rounds = {"Tab": names[start + 1:] + names[:start + 1],
              "shift+Tab": names[start - 1::-1] + names[:start - 1:-1]}
    for keys, order in rounds.items():
        visited = []
        for expected in order:
            key(keys)
            if not poll(lambda: focused_stop(app, stops) == expected, 5):
                raise ScenarioFailure(f"{keys} from the Calibration ID field went through {visited}, then to "
                                      f"{focused_stop(app, stops)} instead of {expected}")
            visited.append(expected)

    # Space and Return work the focused check box and button.
    focus_to(app, stops, "Clear Runtime")
    box = dict(stops)["Clear Runtime"]
    for keys, ticked in (("space", True), ("Return", False)):
        key(keys)
        check(poll(lambda: checked(box) == ticked, 5), f"{keys} on Clear Runtime left it {'' if checked(box) else 'un'}ticked")
    app.wait_title(f"{APP_TITLE} - Varnix1*")
    for what, keys in (("Add", "space"), ("the upgrade's Browse", "Return")):
        focus_to(app, stops, what)
        key(keys)
        chooser = app.dialog("Open", roles=("file chooser",), timeout=10)
        key("Escape")
        wait_for(lambda: closed(chooser), 10, f"the Open dialog of {what} to close on Escape")
    app.wait_no_dialog()
    check(app.stderr() == "", "moving through the form printed on stderr")


@scenario(budget=120)
def tab_brings_each_control_into_a_small_windows_view(ctx):
    app = ctx.start_app()
    new_form(app)
    run_tool("xdotool", "windowsize", app.x_window(), "800", "600")
    wait_for(lambda: app.geometry()[2:] == (800, 600), 10, "the main window at 800 x 600")
    frame = app.main_window()
    stops = form_stops(frame)
    start = dict(stops)["the 'Calibration ID' field"]
    # What the tab shows of the form: the window that the form's scroll pane scrolls.
    view = start.parent.parent
    check(role(view.parent) == "scroll pane", f"the form is not in a scroll pane: {role(view.parent)}")
    hidden = [what for what, stop in stops if not inside(stop, view)]
    check(hidden, "at 800 x 600 the whole form shows: nothing to scroll to")
    click(start)
    for keys in ["Tab"] * len(stops) + ["shift+Tab"] * len(stops):
        before = focused_stop(app, stops)
        key(keys)
        wait_for(lambda: focused_stop(app, stops) != before, 5, f"{keys} to move on from {before}")
        if not poll(lambda: inside(focused(app.accessible()), view), 5):
            raise ScenarioFailure(f"{keys} to {focused_stop(app, stops)}: it is at {extents(focused(app.accessible()))}, "
                                  f"out of the tab's view {extents(view)}")


@scenario(budget=120)
def list_rows_chosen_and_removed_from_the_keyboard(ctx):
    app = ctx.start_app()
    frame = new_form(app)
    for name in ("plain", "protected"):
        click(wait_find(frame, "push button", "Add"))
        file_dialog(app, "Open", SAMPLES[name].path)
        app.wait_no_dialog()
    rows = [[s.calibration_id, s.software_id] for s in (SAMPLES["plain"], SAMPLES["protected"])]
    check(target_rows(app) == rows, f"after two Adds the list holds {target_rows(app)}")

    stops = form_stops(frame)
    click(text_beside(frame, "Calibration ID"))
    focus_to(app, stops, "the target list")
    key("Down")  # from the first row to the second, which it selects
    focus_to(app, stops, "Remove")
    key("space")
    shown = poll(lambda: (lambda r: r if r == rows[:1] else None)(target_rows(app)), 10)
    check(shown, f"Down and Remove from the keyboard left {target_rows(app)}, not {rows[:1]}")


# ---------------------------------------------------------------- the file dialogs

MIXED_CASE_FILES = {
    "programs": ["UPPER.SR", "lower.sr", "prot.srz", "Mixed.SrZ"],
    "bitmaps": ["PIC.BMP", "small.bmp"],
    "jpegs": ["PHOTO.JPG", "photo.jpeg", "Scan.JPEG"],
    "gifs": ["ANIM.GIF"],
    "documents": ["DOC.RVQ", "doc2.rvq"],
}


def shown_files(chooser):
    return {text_of(cell) for table in find_all(chooser, "table") for cell in find_all(table, "table cell")}


def expect_listed(chooser, folder, listed, what):
    """The dialog lists exactly the names of listed among the folder's files."""
    everything = set(os.listdir(folder))
    if not poll(lambda: set(listed) <= shown_files(chooser), 10):
        raise ScenarioFailure(f"{what} lists {sorted(shown_files(chooser) & everything)}, "
                              f"without {sorted(set(listed) - shown_files(chooser))}")
    others = shown_files(chooser) & (everything - set(listed))
    check(not others, f"{what} also lists {sorted(others)}")


def choose_filter(app, chooser, name):
    click(wait_find(chooser, "combo box"))
    click(app.popup_item(name))
    wait_for(lambda: find(chooser, "combo box", name), 5, f"the filter {name!r} chosen")


@scenario(budget=150)
def file_dialogs_list_extensions_in_either_case(ctx):
    folder = os.path.join(ctx.docs, "mixed")
    os.makedirs(folder)
    for name in [n for names in MIXED_CASE_FILES.values() for n in names] + ["notes.txt", "SR", "readme.sr.txt"]:
        with open(os.path.join(folder, name), "w") as f:
            f.write("x")
    app = ctx.start_app()
    frame = new_form(app)
    upgrade = wait_find(frame, "panel", UPGRADE_GROUP)
    image = wait_find(frame, "panel", "Image")
    programs = MIXED_CASE_FILES["programs"]
    dialogs = [
        ("the upgrade's Browse", lambda: click(wait_find(frame, "push button", "Browse", pred=lambda b: inside(b, upgrade))),
         [(None, programs)]),
        ("Add", lambda: click(wait_find(frame, "push button", "Add")), [(None, programs)]),
        ("the image's Browse", lambda: click(wait_find(frame, "push button", "Browse", pred=lambda b: inside(b, image))),
         [(None, MIXED_CASE_FILES["bitmaps"]), ("JPEG Files (*.jpg;*.jpeg)", MIXED_CASE_FILES["jpegs"]),
          ("GIF Files (*.gif)", MIXED_CASE_FILES["gifs"])]),
        ("File, Open", lambda: app.menu("File", "Open..."), [(None, MIXED_CASE_FILES["documents"])]),
    ]
    for what, show, filters in dialogs:
        show()
        chooser = app.dialog("Open", roles=("file chooser",), timeout=10)
        # Into the folder: its path typed in the location field.
        key("ctrl+l")
        wait_for(lambda: focused(chooser) is not None and role(focused(chooser)) == "text", 10, "the location field")
        type_text(folder + "/")
        time.sleep(0.3)
        key("Return")
        for name, listed in filters:
            if name:
                choose_filter(app, chooser, name)
            expect_listed(chooser, folder, listed, f"{what}'s dialog" + (f" under {name!r}" if name else ""))
        key("Escape")
        wait_for(lambda: closed(chooser), 10, f"{what}'s dialog to close")
    app.wait_no_dialog()


# ---------------------------------------------------------------- drops and questions


@scenario(budget=120)
def files_dropped_on_the_lists_header_or_rows_are_added(ctx):
    app = ctx.start_app()
    frame = new_form(app)
    x, y, w, h = extents(labelled(frame, TARGETS_LABEL, role_name="scroll pane", below=True))
    expected = []
    # On a column title of the header, then on the rows' empty area.
    for sample, part, (px, py) in ((SAMPLES["plain"], "header", (x + w // 4, y + 10)),
                                   (SAMPLES["protected"], "rows", (x + w // 2, y + h // 2))):
        answer = drag_files([sample.path], px, py)
        check(answer == "dropped", f"a file dropped on the list's {part} was {answer}")
        expected.append([sample.calibration_id, sample.software_id])
        shown = poll(lambda: (lambda r: r if r == expected else None)(target_rows(app)), 10)
        check(shown, f"a drop on the list's {part} left the rows {target_rows(app)}, not {expected}")
    check(app.stderr() == "", "the drops printed on stderr")


@scenario(budget=120)
def escape_answers_no_or_cancel(ctx):
    kept = os.path.join(ctx.docs, "kept.rvq")
    with open(kept, "wb") as f:
        f.write(b"an older document")
    before = file_state(kept)
    app = ctx.start_app()
    frame = new_form(app)
    click(wait_find(frame, "check box", "Clear Runtime"))
    app.wait_title(f"{APP_TITLE} - Varnix1*")

    # Yes or No: Escape answers No.
    app.menu("File", "Save As...")
    file_dialog(app, "Save As", os.path.join(ctx.docs, "kept"))
    box = message_box(app, timeout=15)
    check("kept.rvq" in box.text and set(box.buttons) == {"Yes", "No"}, f"the question is {box.text!r} {list(box.buttons)}")
    key("Escape")
    wait_for(lambda: closed(box.acc), 10, "the question to close on Escape")
    app.wait_no_dialog()
    check(not changes(before, file_state(kept)), "after Escape kept.rvq was replaced")
    app.wait_title(f"{APP_TITLE} - Varnix1*")

    # Yes, No or Cancel: Escape answers Cancel, and the document stays open.
    app.menu("File", "Close")
    box = message_box(app)
    check(set(box.buttons) == {"Yes", "No", "Cancel"}, f"closing asks {box.text!r} {list(box.buttons)}")
    key("Escape")
    wait_for(lambda: closed(box.acc), 10, "the question to close on Escape")
    app.wait_no_dialog()
    app.wait_title(f"{APP_TITLE} - Varnix1*")
    app.menu("File", "Exit")
    message_box(app).press("No")
    check(app.wait_exit() == 0, "the program did not end well after No")
