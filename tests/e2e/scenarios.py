"""The end-to-end scenarios. Each gets a fresh profile and folder (ctx) and a screen of its own;
register a new one with @scenario and it becomes a CTest test of its own."""

import os
import shutil
import signal
import subprocess
import time
import zlib
from collections import namedtuple

from app_driver import (APP_TITLE, SCREEN, MessageBox, ScenarioFailure, check, checked, click, closed, copied_text,
                        drag_files, enabled, ended, extents, file_dialog, find, find_all, focused, inside, key,
                        labelled, message_box, orphans, poll, role, run_tool, same_text, text_beside, text_of,
                        type_text, wait_find, wait_for)

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


def browse_upgrade(app, path, settle=True):
    """The software upgrade's "Browse" (not the image's), answered with path; with settle, waits
    until no dialog is left (without, a message box may follow)."""
    frame = app.main_window()
    group = wait_find(frame, "panel", UPGRADE_GROUP)
    click(wait_find(frame, "push button", "Browse", pred=lambda b: inside(b, group),
                    what=f"the Browse button of {UPGRADE_GROUP!r}"))
    file_dialog(app, "Open", path)
    if settle:
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
    item = None
    # A right click that comes while another program still holds the pointer (a drag source
    # ending its drag) opens no menu, for a user as for the test: click again, as a user would.
    for attempt in range(3):
        click(labelled(frame, TARGETS_LABEL, role_name="scroll pane", below=True), button=3)
        try:
            item = app.popup_item("Copy To Clipboard", timeout=5)
            break
        except ScenarioFailure:
            if attempt == 2:
                raise
    if not enabled(item):  # as it is exactly when the list has no row
        key("Escape")
        return []
    # Rows of tab-ended cells; the toolkit gives the clipboard the display's own line ends.
    rows = [line.split("\t") for line in copied_text(lambda: click(item)).splitlines()]
    check(rows and all(r[-1] == "" for r in rows), f"the list's copy is not rows of tab-ended cells: {rows!r}")
    rows = [r[:-1] for r in rows]
    check(rows[0] == TARGET_COLUMNS, f"the list's copy starts with {rows[0]}, not the column titles {TARGET_COLUMNS}")
    return rows[1:]


def open_refused(app, path, why):
    """File, Open of path is refused with the message "<path>\n<why>", and no document window opens."""
    app.menu("File", "Open...")
    file_dialog(app, "Open", path)
    box = message_box(app, timeout=15)
    expected = f"{path}\n{why}"
    check(same_text(box.text, expected), f"the message box says {box.text!r}, not {expected!r}")
    box.press("OK")
    app.wait_no_dialog()
    check(app.title() == APP_TITLE, f"a document window is open after the refused open: {app.title()!r}")


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
def typing_in_a_new_window_goes_into_its_form(ctx):
    """A new window has the keyboard in its form: what is typed at once lands in the first
    control, the comments, not on the tab bar."""
    app = ctx.start_app()
    app.main_window()
    for number, typed in ((1, "typed at once"), (2, "and in the second")):
        key("ctrl+n")
        app.wait_title(f"{APP_TITLE} - Varnix{number}")
        type_text(typed)
        app.wait_title(f"{APP_TITLE} - Varnix{number}*")
        shown = text_of(comments_field(app.main_window()))
        check(shown == typed, f"typed into Varnix{number}, the comments show {shown!r}")
    app.menu("File", "Exit")
    for _ in range(2):
        message_box(app).press("No")
    check(app.wait_exit() == 0, "the program did not end well after No")
    check(app.stderr() == "", "the session printed on stderr")


@scenario()
def open_damaged_document(ctx):
    path = damaged_document(ctx)
    before = file_state(path)
    app = ctx.start_app()
    app.main_window()

    open_refused(app, path, "is damaged or incomplete and cannot be opened.")
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


def update_document(path, comments=b""):
    """A whole, valid update document: IDs, no program data, the comments, no targets, no image,
    no actions."""

    def text(b):
        return len(b).to_bytes(4, "little") + b

    body = (bytes([0x89]) + b"RVQ\r\n\x1a\n" + (1).to_bytes(4, "little") + text(b"CAL-1") + text(b"SW-1") +
            (0).to_bytes(4, "little") + text(b"") + text(comments) + (0).to_bytes(4, "little") + text(b"") +
            b"\0\0\0")
    with open(path, "wb") as f:
        f.write(body + zlib.crc32(body).to_bytes(4, "little"))
    return path


def can_create_in(folder):
    probe = os.path.join(folder, ".probe")
    try:
        os.close(os.open(probe, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600))
    except OSError:
        return False
    os.unlink(probe)
    return True


@scenario()
def open_named_pipe(ctx):
    """A named pipe typed into the Open dialog is refused by name; the window does not wait for a
    writer."""
    path = os.path.join(ctx.docs, "pipe.rvq")
    os.mkfifo(path)
    app = ctx.start_app()
    app.main_window()

    open_refused(app, path, "is not a regular file and cannot be opened.")
    exit_by_menu(app)


@scenario(budget=90)
def save_in_folder_that_takes_no_new_file(ctx):
    """A document in a folder that takes no new file (its own file still writable) is not written
    in place: the save is refused, the message says why and that the file was left as it was, and
    the file is byte for byte as before."""
    folder = os.path.join(ctx.docs, "locked")
    os.makedirs(folder)
    path = update_document(os.path.join(folder, "kept.rvq"), b"as it was")
    before = file_state(path)
    app = ctx.start_app(args=[path])
    app.wait_title(f"{APP_TITLE} - kept.rvq", timeout=30)
    frame = app.main_window()
    click(wait_find(frame, "check box", "Clear Runtime"))

    # Root may add files to any folder: for root the folder is made immutable as well.
    os.chmod(folder, 0o555)
    immutable = can_create_in(folder) and subprocess.run(["chattr", "+i", folder], capture_output=True).returncode == 0
    try:
        if can_create_in(folder):
            app.notes.append("no way to keep this user from adding files to a folder: save not tried")
        else:
            app.menu("File", "Save")
            box = message_box(app, timeout=15)
            reasons = ("Operation not permitted", "Permission denied")
            expected = [f"{path}\ncould not be saved, because no new file can be made in its folder; "
                        f"the file on disk was left as it was.\n{reason}" for reason in reasons]
            check(any(same_text(box.text, e) for e in expected), f"the message box says {box.text!r}")
            box.press("OK")
            app.wait_no_dialog()
            check(not changes(before, file_state(path)), "the refused save changed the file")
            check(os.listdir(folder) == ["kept.rvq"], f"the folder holds {os.listdir(folder)}")
    finally:
        if immutable:
            subprocess.run(["chattr", "-i", folder], check=True)
        os.chmod(folder, 0o755)

    app.menu("File", "Exit")
    message_box(app).press("No")
    code = app.wait_exit()
    check(code == 0, f"the program ended with exit code {code}")


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
def started_as_a_launcher_starts_it(ctx):
    """With nothing of the build or the tests in its environment and another folder as its
    current one, the program still finds its controller database: the sample's IDs show. The
    installed tree's test runs this on the installed program."""
    sample = SAMPLES["plain"]
    copy = os.path.join(ctx.docs, os.path.basename(sample.path))
    shutil.copyfile(sample.path, copy)
    sample = sample._replace(path=copy)
    app = ctx.start_app(bare=True)
    new_form(app)
    browse_upgrade(app, sample.path)
    expect_upgrade(app, sample)
    app.menu("File", "Exit")
    message_box(app).press("No")
    code = app.wait_exit()
    check(code == 0, f"the program ended with exit code {code}")
    check(app.stderr() == "", "the program printed on stderr")
    check(app.stdout() == "", "the program printed on stdout")


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


def damaged_program(ctx, name="damaged copy.sr"):
    """The plain sample with a bad checksum on its S7 record: the IDs are there, the text is not
    sound."""
    with open(SAMPLES["plain"].path, "rb") as f:
        text = f.read()
    check(text.endswith(b"S70500000000FA\n"), "the plain sample does not end with its S7 record")
    path = os.path.join(ctx.docs, name)
    with open(path, "wb") as f:
        f.write(text[:-len(b"FA\n")] + b"FB\n")
    return path


def answer_no(app, box):
    """Escape where the question takes it, else its No button."""
    key("Escape")
    if poll(lambda: not any(role(w) == "alert" for w in app.dialogs()), 3):
        return
    app.notes.append("Escape did not close the question: answered with its No button")
    box.press("No")


@scenario(budget=90)
def browse_damaged_upgrade(ctx):
    path = damaged_program(ctx)
    sample = SAMPLES["plain"]
    app = ctx.start_app()
    frame = new_form(app)
    empty = upgrade_shown(frame)
    expected = (f"{path}\nis not a sound programming file:\n"
                "The checksum of the record in line 48 does not match its bytes.\n\nTake it anyway?")
    for answer in ("No button", "Escape"):
        browse_upgrade(app, path, settle=False)
        box = message_box(app, timeout=15)
        check(same_text(box.text, expected), f"the question says {box.text!r}, not {expected!r}")
        check({"Yes", "No"} <= set(box.buttons), f"the question offers {list(box.buttons)}, not Yes and No")
        if answer == "Escape":
            answer_no(app, box)
        else:
            box.press("No")
        app.wait_no_dialog()
        check(upgrade_shown(frame) == empty, f"after {answer} the form shows {upgrade_shown(frame)}")
        check(app.title() == f"{APP_TITLE} - Varnix1",
              f"after {answer} the document is marked changed: the title is {app.title()!r}")

    # Yes takes it as it is.
    browse_upgrade(app, path, settle=False)
    message_box(app, timeout=15).press("Yes")
    app.wait_no_dialog()
    expect_upgrade(app, sample._replace(path=path))
    app.wait_title(f"{APP_TITLE} - Varnix1*")
    app.menu("File", "Exit")
    message_box(app).press("No")
    code = app.wait_exit()
    check(code == 0, f"the program ended with exit code {code}")
    check(app.stderr() == "", "the question and its answers printed on stderr")


@scenario(budget=90)
def browse_without_database(ctx):
    missing = os.path.join(ctx.docs, "nowhere", "controllers.tdb")
    app = ctx.start_app(env={"TESSARY_TDB": missing})
    frame = new_form(app)
    empty = upgrade_shown(frame)
    browse_upgrade(app, SAMPLES["plain"].path, settle=False)
    box = message_box(app, timeout=15)
    expected = f"{missing}\ncannot be used as the controller database: there is no such file."
    check(same_text(box.text, expected), f"the message box says {box.text!r}, not {expected!r}")
    box.press("OK")
    app.wait_no_dialog()
    check(upgrade_shown(frame) == empty, f"without a database the form shows {upgrade_shown(frame)}")
    check(app.title() == f"{APP_TITLE} - Varnix1", f"the document is marked changed: the title is {app.title()!r}")
    exit_by_menu(app)
    check(app.stderr() == "", "the message printed on stderr")


# ---------------------------------------------------------------- texts beyond ASCII

TYPED = "Zweite Zeile äöü € ✓ “quoted”"
RVQ_MAGIC = b"\x89RVQ\r\n\x1a\n"


def rvq_bytes(calibration=b"", software=b"", comments=b"", targets=()):
    """An update document as the program writes it, with the given texts as bytes."""
    def text(b):
        return len(b).to_bytes(4, "little") + b
    body = RVQ_MAGIC + (1).to_bytes(4, "little") + text(calibration) + text(software) + (0).to_bytes(4, "little")
    body += text(b"") + text(comments) + len(targets).to_bytes(4, "little")
    for cal, sw in targets:
        body += text(cal) + text(sw)
    body += (0).to_bytes(4, "little") + b"\0\0\0"
    return body + zlib.crc32(body).to_bytes(4, "little")


def rvq_texts(path):
    """The texts of a saved document, as bytes: calibration, software, comments, targets."""
    with open(path, "rb") as f:
        data = f.read()
    check(data.startswith(RVQ_MAGIC), f"{path} is not an update document")
    pos = 12

    def u32():
        nonlocal pos
        pos += 4
        return int.from_bytes(data[pos - 4:pos], "little")

    def text():
        nonlocal pos
        n = u32()
        pos += n
        return data[pos - n:pos]

    calibration, software = text(), text()
    u32()
    text()
    comments = text()
    targets = [(text(), text()) for _ in range(u32())]
    return {"calibration": calibration, "software": software, "comments": comments, "targets": targets}


@scenario(budget=150)
def text_beyond_ascii_survives(ctx):
    folder = os.path.join(ctx.docs, "Prüfstand ✓")
    os.makedirs(folder)
    program = os.path.join(folder, "Probe äöü.sr")
    shutil.copyfile(SAMPLES["plain"].path, program)
    upgrade = SAMPLES["plain"]._replace(path=program)
    path = os.path.join(folder, "Grüße €.rvq")
    app = ctx.start_app()
    frame = new_form(app)

    comments = comments_field(frame)
    click(comments)
    type_text(TYPED)
    check(poll(lambda: text_of(comments) == TYPED, 10), f"the comments field holds {text_of(comments)!r}")
    # A folder and a file named beyond ASCII, through the real Open dialog.
    browse_upgrade(app, program)
    expect_upgrade(app, upgrade)
    check(text_of(comments) == TYPED, f"after Browse the comments show {text_of(comments)!r}")

    app.menu("Window", "New Window")
    app.wait_title(f"{APP_TITLE} - Varnix1:2*")
    shown = text_of(comments_field(app.main_window()))
    check(shown == TYPED, f"the second window's comments show {shown!r}")

    app.menu("File", "Save As...")
    file_dialog(app, "Save As", path)
    app.wait_title(f"{APP_TITLE} - Grüße €.rvq:2", timeout=20)
    saved = rvq_texts(path)["comments"]
    check(saved == TYPED.encode(), f"the file holds the comments as {saved!r}, not their UTF-8 {TYPED.encode()!r}")
    app.menu("File", "Close")
    app.wait_title(APP_TITLE)

    app.menu("File", "Open...")
    file_dialog(app, "Open", path)
    app.wait_title(f"{APP_TITLE} - Grüße €.rvq", timeout=20)
    frame = app.main_window()
    expect_upgrade(app, upgrade)
    comments = comments_field(frame)
    check(text_of(comments) == TYPED, f"reopened, the comments show {text_of(comments)!r}")

    # More typed and saved again: what was there stays as it was.
    more = " – noch mehr ✓"
    click(comments)
    key("ctrl+End")
    type_text(more)
    check(poll(lambda: text_of(comments) == TYPED + more, 10), f"the comments field holds {text_of(comments)!r}")
    app.wait_title(f"{APP_TITLE} - Grüße €.rvq*")
    app.menu("File", "Save")
    app.wait_title(f"{APP_TITLE} - Grüße €.rvq", timeout=20)
    saved = rvq_texts(path)["comments"]
    check(saved == (TYPED + more).encode(), f"saved again, the file holds the comments as {saved!r}")
    exit_by_menu(app)
    check(app.stderr() == "", "the session printed on stderr")


def _texts_in_locale(locale, name):
    @scenario(name=name)
    def run(ctx):
        # A document named, and holding texts, beyond ASCII: on the command line, in the form and
        # in the title alike, whatever the locale.
        path = os.path.join(ctx.docs, "Prüfung ✓.rvq")
        with open(path, "wb") as f:
            f.write(rvq_bytes(calibration="KAL-ä".encode(), comments=b"Kommentar \x93alt\x94"))
        app = ctx.start_app(args=[path], locale=locale)
        app.wait_title(f"{APP_TITLE} - Prüfung ✓.rvq", timeout=30)
        frame = app.main_window()
        shown = (text_of(text_beside(frame, "Calibration ID")), text_of(comments_field(frame)))
        check(shown == ("KAL-ä", "Kommentar “alt”"), f"under LANG={locale} the form shows {shown}")
        exit_by_menu(app)
        check(app.stderr() == "", f"under LANG={locale} the program printed on stderr")
        check(app.stdout() == "", f"under LANG={locale} the program printed on stdout")


# As on a build machine: no locale at all, and one the system does not have.
_texts_in_locale(None, "texts_without_a_locale")
_texts_in_locale("xx_YY.UTF-8", "texts_in_a_locale_the_system_lacks")


def clipboard(*args):
    """What the clipboard gives for xclip's arguments, as bytes."""
    return subprocess.run(["xclip", "-o", "-selection", "clipboard"] + list(args), capture_output=True,
                          timeout=10).stdout


@scenario(budget=120)
def copied_list_stays_after_exit(ctx):
    # A document written elsewhere: one target named in UTF-8, one in an 8-bit code page, and
    # comments in that code page.
    targets = [("KAL-Prüfung ✓".encode(), "SW-ä".encode()), (b"CAL-Stra\xdfe \x80", b"SW-\x93x\x94")]
    comments = b"Kommentar \x93alt\x94 \xe4"
    path = os.path.join(ctx.docs, "Liste.rvq")
    with open(path, "wb") as f:
        f.write(rvq_bytes(comments=comments, targets=targets))
    app = ctx.start_app(args=[path])
    app.wait_title(f"{APP_TITLE} - Liste.rvq", timeout=30)
    frame = app.main_window()
    shown = text_of(comments_field(frame))
    check(shown == "Kommentar “alt” ä", f"the 8-bit comments show as {shown!r}")
    rows = target_rows(app)
    expected = [["KAL-Prüfung ✓", "SW-ä"], ["CAL-Straße €", "SW-“x”"]]
    check(rows == expected, f"the list shows {rows}, not {expected}")

    # An edit that is not of a text: saved again, the texts keep their bytes.
    click(wait_find(frame, "check box", "Clear Runtime"))
    app.wait_title(f"{APP_TITLE} - Liste.rvq*")
    app.menu("File", "Save")
    app.wait_title(f"{APP_TITLE} - Liste.rvq", timeout=20)
    saved = rvq_texts(path)
    check(saved["comments"] == comments, f"saved again, the comments are {saved['comments']!r}, not {comments!r}")
    check(saved["targets"] == targets, f"saved again, the targets are {saved['targets']!r}, not {targets!r}")

    copied = clipboard()
    check(copied.decode().splitlines()[1:] == ["\t".join(r) + "\t" for r in rows],
          f"the clipboard holds {copied!r}")
    exit_by_menu(app)

    # Once the program is gone, the copy is still there, served by the program's own holder.
    holder = wait_for(lambda: orphans("tessary-clip"), 10, "the clipboard's holder")[0]
    after = clipboard()
    check(after == copied, f"after exit the clipboard holds {after!r}, not {copied!r}")
    targets_offered = clipboard("-t", "TARGETS").decode().split()
    for target in ("UTF8_STRING", "STRING", "TEXT"):
        check(target in targets_offered, f"after exit the clipboard offers {targets_offered}, without {target}")
    latin1 = clipboard("-t", "STRING")
    check(latin1 == copied.decode().encode("latin-1", "replace"), f"as STRING the clipboard gives {latin1!r}")

    # Another program's copy ends the holder.
    subprocess.run(["xclip", "-i", "-selection", "clipboard"], input=b"another copy", check=True, timeout=10,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wait_for(lambda: ended(holder), 10, "the clipboard's holder to end once another program copied")
    check(clipboard() == b"another copy", f"the clipboard holds {clipboard()!r} after another program copied")
    check(app.stderr() == "", "the session printed on stderr")


@scenario(budget=90)
def names_not_utf8_keep_their_bytes(ctx):
    # A folder and a document named in an 8-bit code page, as older systems wrote them.
    folder = os.path.join(os.fsencode(ctx.docs), b"Ordner-\xe9")
    os.makedirs(folder)
    path = os.path.join(folder, b"Liste-\xe4.rvq")
    with open(path, "wb") as f:
        f.write(rvq_bytes(comments=b"kept"))
    app = ctx.start_app(args=[path])
    # The name reads as its code page's characters.
    app.wait_title(f"{APP_TITLE} - Liste-ä.rvq", timeout=30)
    frame = app.main_window()

    click(wait_find(frame, "check box", "Clear Runtime"))
    app.wait_title(f"{APP_TITLE} - Liste-ä.rvq*")
    app.menu("File", "Save")
    app.wait_title(f"{APP_TITLE} - Liste-ä.rvq", timeout=20)
    with open(path, "rb") as f:
        flags = f.read()[-7:-4]
    check(flags == b"\1\0\0", f"Save did not write the document's own file: its flags are {flags!r}")

    # Save As offers the name as it reads, without its extension; taken as offered, it is the same
    # file, which the program asks to replace.
    click(wait_find(frame, "check box", "Clear Runtime"))
    app.wait_title(f"{APP_TITLE} - Liste-ä.rvq*")
    app.menu("File", "Save As...")
    offered = text_beside(app.dialog("Save As"), "Name:")
    check(poll(lambda: text_of(offered) == "Liste-ä", 5), f"the Save As dialog offers {text_of(offered)!r}")
    key("Return")
    question = message_box(app)
    check("already exists" in question.text, f"after Save As the program asked {question.text!r}")
    question.press("Yes")
    app.wait_no_dialog()
    app.wait_title(f"{APP_TITLE} - Liste-ä.rvq", timeout=20)
    names = sorted(os.listdir(folder))
    check(names == [b"Liste-\xe4.rvq"], f"after Save As the folder holds {names}")
    with open(path, "rb") as f:
        flags = f.read()[-7:-4]
    check(flags == b"\0\0\0", f"Save As did not write the document's own file: its flags are {flags!r}")
    check(rvq_texts(path)["comments"] == b"kept", "Save As did not keep the document's texts")
    exit_by_menu(app)
    check(app.stderr() == "", "the session printed on stderr")


# ---------------------------------------------------------------- the profile


PREFERENCES_CHECK = "Always look in this folder first"


def profile_file(profile_dir):
    return os.path.join(profile_dir, ".config", "Brevanta", "TessaryAuthor.conf")


def _unescape_name(text):
    out, escaped = [], False
    for ch in text:
        if escaped or ch != "\\":
            out.append(ch)
        escaped = not escaped and ch == "\\"
    return "".join(out)


def _unescape_value(text):
    quoted = text.startswith('"')
    out, i = [], 1 if quoted else 0
    while i < len(text):
        ch = text[i]
        if ch == "\\" and i + 1 < len(text):
            i += 1
            out.append({"n": "\n", "r": "\r", "t": "\t", "\\": "\\", '"': '"'}.get(text[i], ""))
        elif ch != '"' or not quoted:
            out.append(ch)
        i += 1
    return "".join(out)


def profile_values(profile_dir):
    """What the profile file holds on disk: {(section, entry): value}, as the program writes it."""
    values, section = {}, ""
    path = profile_file(profile_dir)
    if not os.path.exists(path):
        return values
    with open(path, encoding="utf-8", errors="surrogateescape") as f:
        for line in f.read().splitlines():
            line = line.lstrip()
            if not line or line[0] in ";#":
                continue
            if line.startswith("[") and line.endswith("]"):
                section = _unescape_name(line[1:-1])
            elif "=" in line:
                name, _, value = line.partition("=")
                values[(section, _unescape_name(name.strip()))] = _unescape_value(value.lstrip())
    return values


def stored_recent_files(profile_dir):
    values = profile_values(profile_dir)
    return [values[k] for k in (("Recent File List", f"file{n}") for n in range(1, 5)) if values.get(k)]


def to_front(app):
    """The program's main window in front, where clicks reach it (two copies share the screen)."""
    run_tool("xdotool", "windowactivate", "--sync", app.x_window())
    app.main_window()


def set_preferences(app, update, source, always):
    """File > Preferences: the two folders typed, the box set, OK."""
    app.menu("File", "Preferences")
    # The toolkit shows its own dialogs to the accessibility tree as frames.
    dialog = app.dialog("Preferences", roles=("dialog", "frame"))
    fields = wait_for(lambda: (lambda f: f if len(f) == 2 else None)(find_all(dialog, "text")), 10,
                      "the two folder fields of Preferences")
    fields.sort(key=lambda f: extents(f)[1])
    for field, text in zip(fields, (update, source)):
        click(field)
        key("ctrl+a")
        type_text(text)
        check(poll(lambda: text_of(field) == text, 5), f"a Preferences field holds {text_of(field)!r}, not {text!r}")
    box = wait_find(dialog, "check box", PREFERENCES_CHECK)
    if checked(box) != always:
        click(box)
    check(poll(lambda: checked(box) == always, 5), f"{PREFERENCES_CHECK!r} did not take the state {always}")
    click(wait_find(dialog, "push button", "OK"))
    wait_for(lambda: closed(dialog), 10, "the Preferences dialog to close")


@scenario(budget=120)
def two_copies_share_the_profile(ctx):
    """Two copies of the program on one profile: Preferences set in one are what the next Add of
    the other starts from, and each keeps the other's recent files when it ends."""
    sample = SAMPLES["plain"]
    cals = os.path.join(ctx.docs, "cals")
    os.makedirs(cals)
    shutil.copy(sample.path, os.path.join(cals, "cal.sr"))
    first_doc = os.path.join(ctx.docs, "first.rvq")
    second_doc = os.path.join(ctx.docs, "second.rvq")

    first = ctx.start_app(label="first")
    first.main_window()
    second = ctx.start_app(label="second")
    second.main_window()

    # The first copy sets the source calibration folder, to be used always.
    to_front(first)
    set_preferences(first, os.path.join(ctx.docs, "updates"), cals, True)

    # The second copy, started before that, adds a target: its dialog starts in that folder, so
    # the name alone finds the file.
    to_front(second)
    new_form(second)
    frame = second.main_window()
    click(wait_find(frame, "push button", "Add"))
    file_dialog(second, "Open", "cal.sr")
    second.wait_no_dialog()
    shown = target_rows(second)
    check(shown == [[sample.calibration_id, sample.software_id]],
          f"the second copy's Add did not start in the folder the first set: the list holds {shown}")
    second.menu("File", "Save As...")
    file_dialog(second, "Save As", second_doc)
    second.wait_title(f"{APP_TITLE} - second.rvq", timeout=20)

    # Each saves a document of its own; the one that ends last keeps the other's recent file.
    to_front(first)
    new_form(first)
    first.menu("File", "Save As...")
    file_dialog(first, "Save As", first_doc)
    first.wait_title(f"{APP_TITLE} - first.rvq", timeout=20)
    exit_by_menu(first)
    to_front(second)
    exit_by_menu(second)
    stored = stored_recent_files(ctx.profile())
    check(stored == [first_doc, second_doc], f"the recent files stored after both ended are {stored}")
    values = profile_values(ctx.profile())
    check(values.get(("Preferences", "SourceCalPath")) == cals + "/",
          f"the source folder stored is {values.get(('Preferences', 'SourceCalPath'))!r}")
    for app in (first, second):
        check(app.stderr() == "", f"the {app.stderr_path} copy printed on stderr")


@scenario()
def preferences_survive_a_killed_program(ctx):
    """Preferences left with OK are on disk at once: a program killed right after keeps them."""
    app = ctx.start_app()
    app.main_window()
    update, source = os.path.join(ctx.docs, "up dates"), os.path.join(ctx.docs, "cals")
    set_preferences(app, update, source, True)
    app.proc.send_signal(signal.SIGKILL)
    app.wait_exit()
    values = profile_values(ctx.profile())
    expected = {("Preferences", "UpdatePath"): update + "/", ("Preferences", "SourceCalPath"): source + "/",
                ("Preferences", "AlwaysUseSourceCalFolder"): "1"}
    shown = {k: values.get(k) for k in expected}
    check(shown == expected, f"after the kill the profile holds {shown}, not {expected}")


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
