#!/usr/bin/env python3
"""Installs a build into a temporary prefix and checks the installed tree as a user gets it.

  check_install.py --cmake CMAKE --build BUILD --source SOURCE --validate DESKTOP_FILE_VALIDATE
                   [--bindir bin] [--datadir share]

The build is installed twice, into a prefix of its own (cmake --install --prefix) and staged
(DESTDIR) under another prefix; both trees must hold the same files. In the first: the files
and their permissions, a program that needs nothing of the build or source tree to load, a valid
desktop launcher that names the installed program and icon and registers no file type, icons
that decode to the same drawing at every size, the controller database as the build made it.
Then the installed program is started from another folder with a bare environment (the
end-to-end scenario started_as_a_launcher_starts_it) and must show the sample's IDs, which it can
only do when it finds its database. Prints a line for each fault and the count; leaves nothing
behind (the build's install manifest is put back as it was)."""

import argparse
import os
import shutil
import signal
import stat
import struct
import subprocess
import sys
import tempfile
import zlib

NAME = "tessary-author"
ICON_SIZES = (16, 32, 48, 64, 128, 256)
SCENARIO = "started_as_a_launcher_starts_it"
# A prefix with a space and a letter beyond ASCII in its path, as a user's folder may have.
PREFIX_FOLDER = "Prüfstand tools"


class Checks:
    def __init__(self):
        self.passed = 0
        self.failed = 0

    def check(self, condition, message):
        if condition:
            self.passed += 1
        else:
            self.failed += 1
            print(f"FAIL {message}", flush=True)
        return condition


def expected_files(bindir, datadir):
    files = {f"{bindir}/{NAME}": 0o755,
             f"{datadir}/tessary/controllers.tdb": 0o644,
             f"{datadir}/applications/{NAME}.desktop": 0o644}
    for n in ICON_SIZES:
        files[f"{datadir}/icons/hicolor/{n}x{n}/apps/{NAME}.png"] = 0o644
    return files


def tree(root):
    """Every file and folder below root: relative path -> (mode bits, bytes or None for a folder)."""
    found = {}
    for folder, dirs, files in os.walk(root):
        for d in dirs:
            path = os.path.join(folder, d)
            found[os.path.relpath(path, root)] = (stat.S_IMODE(os.lstat(path).st_mode), None)
        for f in files:
            path = os.path.join(folder, f)
            with open(path, "rb") as data:
                found[os.path.relpath(path, root)] = (stat.S_IMODE(os.lstat(path).st_mode), data.read())
    return found


def install(args, prefix, destdir=None):
    env = dict(os.environ)
    env.pop("DESTDIR", None)
    if destdir:
        env["DESTDIR"] = destdir
    old_umask = os.umask(0o022)
    try:
        return subprocess.run([args.cmake, "--install", args.build, "--prefix", prefix], env=env,
                              capture_output=True, text=True, timeout=120)
    finally:
        os.umask(old_umask)


def desktop_entry(path):
    """The keys of the file's [Desktop Entry] group."""
    keys, group = {}, None
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if line.startswith("["):
                group = line
            elif group == "[Desktop Entry]" and "=" in line and not line.startswith("#"):
                k, _, v = line.partition("=")
                keys[k.strip()] = v.strip()
    return keys


def png_pixels(data):
    """(width, height, rows of RGBA bytes) of an 8-bit RGBA PNG without interlacing; every chunk's
    CRC checked and every row's filter undone."""
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("no PNG signature")
    pos, chunks = 8, []
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 4:pos + 8 + length]
        (crc,) = struct.unpack(">I", data[pos + 8 + length:pos + 12 + length])
        if zlib.crc32(body) != crc:
            raise ValueError(f"bad CRC in chunk {kind!r}")
        chunks.append((kind, body[4:]))
        pos += 12 + length
    if not chunks or chunks[0][0] != b"IHDR" or chunks[-1][0] != b"IEND":
        raise ValueError("chunks out of order")
    width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", chunks[0][1])
    if (depth, colour, interlace) != (8, 6, 0):
        raise ValueError(f"not 8-bit RGBA without interlace: depth {depth}, colour type {colour}")
    raw = zlib.decompress(b"".join(body for kind, body in chunks if kind == b"IDAT"))
    stride = width * 4
    if len(raw) != height * (stride + 1):
        raise ValueError("pixel data of the wrong length")
    rows, prev = [], bytes(stride)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - 4] if i >= 4 else 0
            b = prev[i]
            c = prev[i - 4] if i >= 4 else 0
            if kind == 1:
                line[i] = (line[i] + a) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + b) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 0xFF
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 0xFF
            elif kind != 0:
                raise ValueError(f"unknown row filter {kind}")
        rows.append(bytes(line))
        prev = line
    return width, height, rows


def cells(rows, size, grid=16):
    """The drawing on a grid of grid x grid cells, or None when a cell is not one colour."""
    step = size // grid
    drawing = []
    for gy in range(grid):
        for gx in range(grid):
            colours = {rows[y][x * 4:x * 4 + 4] for y in range(gy * step, (gy + 1) * step)
                       for x in range(gx * step, (gx + 1) * step)}
            if len(colours) != 1:
                return None
            drawing.append(colours.pop())
    return drawing


def check_icons(c, root, datadir):
    drawings = {}
    for n in ICON_SIZES:
        path = os.path.join(root, datadir, "icons", "hicolor", f"{n}x{n}", "apps", f"{NAME}.png")
        try:
            with open(path, "rb") as f:
                width, height, rows = png_pixels(f.read())
        except (OSError, ValueError, zlib.error, struct.error) as e:
            c.check(False, f"the {n}x{n} icon cannot be read: {e}")
            continue
        if c.check((width, height) == (n, n), f"the {n}x{n} icon is {width}x{height}"):
            drawings[n] = cells(rows, n)
            c.check(drawings[n] is not None, f"the {n}x{n} icon is not the drawing's blocks scaled up")
    first = drawings.get(ICON_SIZES[0])
    if first:
        opaque = sum(1 for p in first if p[3] == 255)
        c.check(first[0][3] == 0 and opaque > len(first) // 2,
                f"the icon is not a drawing on a clear ground ({opaque} of {len(first)} cells opaque)")
        for n, drawing in drawings.items():
            c.check(drawing == first, f"the {n}x{n} icon shows another drawing than the {ICON_SIZES[0]}x"
                                      f"{ICON_SIZES[0]} one")


def check_program(c, args, exe):
    """A program that loads with nothing of the build or source tree."""
    dynamic = subprocess.run(["readelf", "-d", exe], capture_output=True, text=True, timeout=30).stdout
    search = [line for line in dynamic.splitlines() if "(RPATH)" in line or "(RUNPATH)" in line]
    inside = [line.strip() for line in search
              if os.path.realpath(args.build) in line or os.path.realpath(args.source) in line]
    c.check(not inside, f"the installed program's library search path names the build or source tree: {inside}")
    ldd = subprocess.run(["ldd", exe], capture_output=True, text=True, env={}, timeout=30)
    missing = [line.strip() for line in ldd.stdout.splitlines() if "not found" in line]
    c.check(ldd.returncode == 0 and not missing, f"the installed program lacks libraries: {missing or ldd.stderr}")


def check_launcher(c, args, root, bindir, datadir):
    path = os.path.join(root, datadir, "applications", f"{NAME}.desktop")
    valid = subprocess.run([args.validate, path], capture_output=True, text=True, timeout=30)
    said = (valid.stdout + valid.stderr).strip()
    c.check(valid.returncode == 0 and not said, f"desktop-file-validate finds fault with the launcher: {said}")
    entry = desktop_entry(path)
    exec_line = entry.get("Exec", "").split()
    c.check(entry.get("Type") == "Application" and entry.get("Name") == "TessaryAuthor",
            f"the launcher's type and name are {entry.get('Type')!r}, {entry.get('Name')!r}")
    c.check(exec_line == [NAME, "%f"], f"the launcher starts {exec_line}, not the installed {NAME} with one file")
    c.check(os.access(os.path.join(root, bindir, exec_line[0] if exec_line else ""), os.X_OK),
            "the program the launcher starts is not the installed one")
    c.check(entry.get("Icon") == NAME, f"the launcher's icon is {entry.get('Icon')!r}, not the installed {NAME!r}")
    c.check("MimeType" not in entry, f"the launcher registers file types: {entry.get('MimeType')!r}")


def check_started(c, args, exe):
    """The installed program started as a launcher starts it shows the sample's IDs."""
    runner = os.path.join(args.source, "tests", "e2e", "run_e2e.py")
    run = subprocess.run([sys.executable, runner, "--app", exe, SCENARIO], capture_output=True, text=True,
                         stdin=subprocess.DEVNULL, timeout=150)
    c.check(run.returncode == 0, f"the installed program, started from another folder with a bare environment:\n"
                                 + (run.stdout + run.stderr).strip())


def run_checks(args, work):
    c = Checks()
    prefix = os.path.join(work, PREFIX_FOLDER)
    done = install(args, prefix)
    if not c.check(done.returncode == 0, f"cmake --install --prefix failed:\n{done.stdout}{done.stderr}"):
        return c
    stage, staged_prefix = os.path.join(work, "stage"), "/opt/tessary"
    done = install(args, staged_prefix, destdir=stage)
    if c.check(done.returncode == 0, f"cmake --install with DESTDIR failed:\n{done.stdout}{done.stderr}"):
        c.check(tree(stage + staged_prefix) == tree(prefix), "the staged tree differs from the one installed directly")

    installed = tree(prefix)
    wanted = expected_files(args.bindir, args.datadir)
    files = {p: mode for p, (mode, data) in installed.items() if data is not None}
    c.check(set(files) == set(wanted), f"the installed files are {sorted(files)}, not {sorted(wanted)}")
    wrong = {p: oct(mode) for p, mode in files.items() if p in wanted and mode != wanted[p]}
    c.check(not wrong, f"installed files with other permissions than they need: {wrong}")
    folders = {p: oct(mode) for p, (mode, data) in installed.items() if data is None and mode != 0o755}
    c.check(not folders, f"installed folders that are not rwxr-xr-x: {folders}")
    with open(os.path.join(args.build, "ecuserver", "controllers.tdb"), "rb") as f:
        built = f.read()
    c.check(installed.get(f"{args.datadir}/tessary/controllers.tdb", (0, None))[1] == built,
            "the installed controller database is not the one the build made")

    exe = os.path.join(prefix, args.bindir, NAME)
    check_program(c, args, exe)
    check_launcher(c, args, prefix, args.bindir, args.datadir)
    check_icons(c, prefix, args.datadir)
    check_started(c, args, exe)
    return c


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cmake", required=True)
    parser.add_argument("--build", required=True)
    parser.add_argument("--source", required=True)
    parser.add_argument("--validate", required=True, help="the desktop-file-validate program")
    parser.add_argument("--bindir", default="bin")
    parser.add_argument("--datadir", default="share")
    args = parser.parse_args()
    args.build, args.source = os.path.abspath(args.build), os.path.abspath(args.source)

    # cmake --install writes the list of what it installed into the build; a real install's list
    # stays as it was.
    manifest = os.path.join(args.build, "install_manifest.txt")
    kept = None
    if os.path.exists(manifest):
        with open(manifest, "rb") as f:
            kept = f.read()
    # Ended from outside (a timeout): still clean up.
    signal.signal(signal.SIGTERM, lambda signum, frame: sys.exit(128 + signum))
    work = tempfile.mkdtemp(prefix="install_")
    try:
        c = run_checks(args, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
        if kept is None:
            if os.path.exists(manifest):
                os.remove(manifest)
        else:
            with open(manifest, "wb") as f:
                f.write(kept)
    print(f"{c.passed} passed, {c.failed} failed", flush=True)
    return 1 if c.failed else 0


if __name__ == "__main__":
    sys.exit(main())
