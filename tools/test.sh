#!/usr/bin/env bash
# Builds everything and runs every test: the portable core natively (with
# ASan and UBSan), the Windows build under Wine, and the fuzz targets for a
# bounded time. Exits non-zero when anything fails.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$ZELVANE_ROOT"

bash tools/setup.sh || exit 1
source tools/xvfb.sh

jobs=$(nproc)
failed=()
step() {  # step <name> <command...>
  local name=$1; shift
  log "$name"
  "$@" || failed+=("$name")
}

step "native: configure" cmake --preset native
step "native: build" cmake --build --preset native -j "$jobs"
step "native: tests" ctest --preset native -j "$jobs"

# One wineserver for the whole run, started on this run's display (a server
# left from another display would hang every window).
wineserver -k 2>/dev/null || true
timeout 30 wineserver -w 2>/dev/null || true
wineserver -p
# The first program of a new server finishes the prefix's start-up; let that
# happen before any test's time-out runs.
timeout 120 wine cmd /c exit >/dev/null 2>&1 || true

step "mingw: configure" cmake --preset mingw
step "mingw: build" cmake --build --preset mingw -j "$jobs"
# Tests under Wine share one wineserver and one display: run them one by one.
step "mingw: tests under Wine" ctest --preset mingw

if [ -x tools/fuzz.sh ]; then
  step "fuzz" tools/fuzz.sh
fi

wineserver -k 2>/dev/null || true
if ((${#failed[@]})); then
  log "FAILED: ${failed[*]}"
  exit 1
fi
log "all steps passed"
