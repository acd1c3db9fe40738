#!/usr/bin/env bash
# Installs every Debian package that the build, the tests and the benchmarks need.
# Safe to run again: packages already present are left as they are.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libcrypto++-dev libsqlite3-dev sqlite3 zlib1g-dev
  libwxgtk3.2-dev libgtk-3-dev libx11-dev
  xvfb xauth
  openbox
  # The end-to-end tests: the program driven through its real window and read back through the
  # accessibility tree on a session bus of its own; a screenshot when a scenario fails. The target
  # list draws its rows itself, so they are read through its "Copy To Clipboard" (xclip).
  python3 python3-pyatspi at-spi2-core dbus-daemon xdotool x11-utils imagemagick xclip
  # A file dragged from another program's window onto the form (tests/e2e/drag_source.py).
  python3-gi gir1.2-gtk-3.0
  srecord binutils gzip
  # The installed tree's test checks the desktop launcher.
  desktop-file-utils
  # The house style's check (CTest format_rule) and scripts/format.sh.
  clang-format
  # The fuzz targets (scripts/fuzz.sh): clang, its runtime libraries with libFuzzer, and
  # llvm-symbolizer for readable stack traces in the findings.
  clang libclang-rt-dev llvm
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
