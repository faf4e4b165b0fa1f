#!/usr/bin/env bash
# Builds Zelvane.exe and starts it under Wine. Without a display it runs under
# Xvfb and writes a screenshot to build/screenshot.png.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$ZELVANE_ROOT"

bash tools/setup.sh
had_display=${DISPLAY:-}
source tools/xvfb.sh

cmake --preset mingw >/dev/null
cmake --build --preset mingw --target Zelvane -j "$(nproc)"
exe=build/mingw/Zelvane.exe

if [ -n "$had_display" ]; then
  log "starting Zelvane on $DISPLAY"
  exec wine "$exe"
fi

log "no display: running under Xvfb on $DISPLAY"
wineserver -k 2>/dev/null || true
wine "$exe" &
pid=$!
sleep "${ZELVANE_SCREENSHOT_DELAY:-8}"
import -window root build/screenshot.png
log "screenshot: build/screenshot.png"
kill "$pid" 2>/dev/null || true
wineserver -k 2>/dev/null || true
