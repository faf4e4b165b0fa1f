#!/usr/bin/env bash
# Start-up under Wine beside Wine's own notepad.exe, measured in turns in one
# Wine session: milliseconds from CreateProcess until the main dialog
# ("Kesuna") is visible, median of 10 warm starts (after one warm-up each),
# the time until each is first ready for input, and the idle private memory
# and handle count of each. Target: Zelvane
# within 1.5x of notepad's start.
#   tools/wine_start.sh [--no-build] [rounds]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$ZELVANE_ROOT"

build=1; [ "${1:-}" = "--no-build" ] && { build=0; shift; }
rounds=${1:-10}
if ((build)); then
  bash tools/setup.sh
  cmake --preset mingw >/dev/null
  cmake --build --preset mingw -j 2 --target Zelvane start_bench >/dev/null
fi
source tools/xvfb.sh
# A kept-alive wineserver for the whole run: every start is a warm one.
wineserver -p 60
trap 'wineserver -k 2>/dev/null || true; zelvane_xvfb_stop' EXIT
wine cmd /c exit 0 >/dev/null 2>&1 || true

exe=$(winepath -w "$ZELVANE_ROOT/build/mingw/Zelvane.exe" 2>/dev/null)
wine build/mingw/tools/winbench/start_bench.exe "$rounds" \
  Zelvane "$exe" '#32770' 'Kesuna' -- \
  notepad 'C:\windows\system32\notepad.exe' Notepad 2>/dev/null | tr -d '\r'
