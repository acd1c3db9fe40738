#!/usr/bin/env bash
# Takes the README's picture of the update form: the program on a virtual screen of its own
# (1280x1024, openbox, a fresh profile), a new document, samples/sample-plain.sr chosen through
# the real "Browse" button and file dialog, driven by tests/e2e/app_driver.py. Builds nothing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
usage="usage: [BUILD_DIR=folder] scripts/screenshot.sh [OUTPUT.png]
  needs an existing build of the program (BUILD_DIR, default build-release: scripts/run.sh makes it);
  writes docs/images/update-form.png unless OUTPUT.png is given, and prints the path it wrote"
case "${1:-}" in -h|--help) echo "$usage"; exit 0 ;; esac
[ $# -le 1 ] || { echo "$usage" >&2; exit 2; }

build="${BUILD_DIR:-build-release}"
case "$build" in /*) ;; *) build="$root/$build" ;; esac
program="$build/app/tessary-author"
out=$(realpath -m "${1:-$root/docs/images/update-form.png}")
[ -x "$program" ] || { echo "no program at $program" >&2; echo "$usage" >&2; exit 1; }
# The Debian python, which has the accessibility bindings.
python=/usr/bin/python3
for tool in "$python" Xvfb openbox dbus-run-session xdotool xwininfo import; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (bash scripts/setup.sh installs it)" >&2; exit 1; }
done

# The runner's own folder (display, session bus, profile) goes below this one; all of it goes at
# the end, also when the picture could not be taken or the script is interrupted. The picture is
# taken beside its place and renamed into it, so a failed run leaves the old one as it was.
mkdir -p "$(dirname "$out")"
work=$(mktemp -d)
shot=$(mktemp "$(dirname "$out")/.update-form.XXXXXX")
runner=""
cleanup() {
  if [ -n "$runner" ] && kill -0 "$runner" 2>/dev/null; then
    # The runner ends its session (the display, the window manager, the program) on TERM.
    kill -TERM "$runner" 2>/dev/null || true
    wait "$runner" 2>/dev/null || true
  fi
  rm -rf "$work" "$shot"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

TMPDIR="$work" "$python" "$root/tests/e2e/run_e2e.py" --app "$program" --picture "$shot" &
runner=$!
wait "$runner"
runner=""
chmod 644 "$shot"
mv -f "$shot" "$out"
echo "$out"
