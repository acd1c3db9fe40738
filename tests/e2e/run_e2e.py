#!/usr/bin/env python3
"""Runs end-to-end scenarios against the built program.

  run_e2e.py --list                      the scenario names, one a line
  run_e2e.py --app EXE [NAME ...]        the named scenarios (all without names)
  run_e2e.py --app EXE --picture OUT     the README's picture of the update form, written to OUT
                                         (nothing printed unless it fails)

Each scenario runs in a session bus of its own (dbus-run-session, which the accessibility bus
needs), on a virtual display of its own, with a fresh profile; it ends by itself within its
budget. The last line says how many passed and failed; the exit status is 0 only when all passed.
A failed scenario leaves a screenshot e2e-NAME.png in the current folder."""

import argparse
import os
import shutil
import signal
import subprocess
import tempfile
import sys
import time
import traceback

sys.dont_write_bytecode = True  # the source folder stays as it is
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import app_driver  # noqa: E402
from scenarios import SCENARIOS, update_form_picture  # noqa: E402

PICTURE = "picture"  # the name of the picture's run
PICTURE_BUDGET = 60


def _job(name, picture):
    """The function that a run calls with its context, and its budget."""
    if name == PICTURE:
        return (lambda ctx: update_form_picture(ctx, picture)), PICTURE_BUDGET
    return SCENARIOS[name]


def run_inside(exe, name, root, report, picture=None):
    """One scenario, already inside its session bus. Writes one PASS or FAIL line to report."""
    function, budget = _job(name, picture)
    app_driver.adopt_orphans()
    ctx = app_driver.Context(exe, name, root)
    started = time.monotonic()
    failure = None
    try:
        app_driver.alarm(budget)
        ctx.display.start()
        function(ctx)
    except app_driver.ScenarioFailure as e:
        failure = str(e)
    except Exception:
        failure = traceback.format_exc()
    finally:
        app_driver.alarm(0)
        # The picture's run keeps nothing of a failure but its report.
        shot = os.path.abspath(f"e2e-{name}.png") if failure and not picture else None
        if failure:
            failure += _program_output(ctx)
        ctx.close(screenshot=shot)
    took = time.monotonic() - started
    notes = sorted({n for app in ctx.apps for n in app.notes})
    head = f"{'FAIL' if failure else 'PASS'} {name} ({took:.1f} s)" + (f" [{'; '.join(notes)}]" if notes else "")
    with open(report, "w") as out:
        if failure:
            out.write(f"{head}: {failure}\n" + (f"  screenshot: {shot}\n" if shot else ""))
        else:
            out.write(head + "\n")
    return 1 if failure else 0


def _program_output(ctx):
    parts = []
    for app in ctx.apps:
        for what, read in (("stderr", app.stderr), ("stdout", app.stdout)):
            text = read().strip()
            if text:
                parts.append(f"\n  program {what} ({os.path.basename(app.stderr_path).split('.')[0]}):\n    "
                             + text.replace("\n", "\n    "))
    return "".join(parts)


_running = None  # the session of the scenario under way, ended with this runner


def _end_running(signum, frame):
    if _running is not None:
        try:
            os.killpg(_running.pid, 9)
        except ProcessLookupError:
            pass
    sys.exit(128 + signum)


def run_outside(exe, name, picture=None):
    """Starts one scenario in a new session bus; what the bus and the services it starts print goes
    to a log shown only when the scenario fails. A scenario's log and failure screenshot stay in
    the current folder; the picture's run keeps nothing but its picture and reports on stderr,
    only when it fails."""
    _, budget = _job(name, picture)
    # Everything of the scenario lives in one folder, removed also when the scenario had to be
    # killed. The accessibility bus keeps its socket in the runtime folder: one of its own, so
    # that scenarios running side by side do not meet on one bus (short, for the socket's name).
    root = tempfile.mkdtemp(prefix="e2e_")
    kept = root if picture else "."
    out = sys.stderr if picture else sys.stdout
    log_path = os.path.join(kept, f"e2e-{name}.log")
    report = os.path.join(kept, f"e2e-{name}.report")
    if not picture:
        for stale in (report, f"e2e-{name}.png"):
            if os.path.exists(stale):
                os.remove(stale)
    runtime = os.path.join(root, "run")
    os.mkdir(runtime, 0o700)
    env = dict(os.environ, XDG_RUNTIME_DIR=runtime)
    with open(log_path, "wb") as log:
        job = ["--picture", picture] if picture else [name]
        proc = subprocess.Popen(["dbus-run-session", "--", sys.executable, os.path.abspath(__file__), "--inside",
                                 "--root", root, "--report", report, "--app", exe] + job,
                                stdin=subprocess.DEVNULL, stdout=log, stderr=log, env=env, start_new_session=True)
        global _running
        _running = proc
        try:
            code = proc.wait(budget + 30)
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, 9)
            proc.wait()
            code = None
    if os.path.exists(report):
        with open(report) as f:
            if not picture or code != 0:
                print(f.read(), end="", flush=True, file=out)
        os.remove(report)
    else:
        print(f"FAIL {name}: " + (f"did not end within {budget + 30} s and was killed" if code is None
                                  else f"ended with exit code {code} before it reported"), flush=True, file=out)
        code = 1
    # Whatever the bus started (the accessibility bus and registry) goes with the scenario.
    try:
        os.killpg(proc.pid, 9)
    except ProcessLookupError:
        pass
    if code != 0:
        with open(log_path, errors="replace") as f:
            text = f.read().strip()
        if text:
            print("  session log:\n    " + text.replace("\n", "\n    "), flush=True, file=out)
    else:
        os.remove(log_path)
    shutil.rmtree(root, ignore_errors=True)
    return code


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--list", action="store_true")
    parser.add_argument("--app")
    parser.add_argument("--inside", action="store_true", help=argparse.SUPPRESS)
    parser.add_argument("--report", help=argparse.SUPPRESS)
    parser.add_argument("--root", help=argparse.SUPPRESS)
    parser.add_argument("--picture", metavar="OUT")
    parser.add_argument("names", nargs="*")
    args = parser.parse_args()

    if args.list:
        print("\n".join(SCENARIOS))
        return 0
    if not args.app:
        parser.error("--app is required")
    exe = os.path.abspath(args.app)
    picture = os.path.abspath(args.picture) if args.picture else None
    if picture and args.names:
        parser.error("--picture takes no scenario names")
    names = args.names or list(SCENARIOS)
    unknown = [n for n in names if n not in SCENARIOS]
    if unknown:
        parser.error(f"no such scenario: {', '.join(unknown)}")
    if args.inside:
        return run_inside(exe, PICTURE if picture else names[0], args.root, args.report, picture)

    for signum in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(signum, _end_running)
    if picture:
        return 1 if run_outside(exe, PICTURE, picture) != 0 else 0
    failed = sum(1 for name in names if run_outside(exe, name) != 0)
    print(f"{len(names) - failed} passed, {failed} failed", flush=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
