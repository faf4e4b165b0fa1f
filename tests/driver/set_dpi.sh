#!/usr/bin/env bash
# Sets the Wine prefix's screen scale (dots per inch) and restarts its
# wineserver so that every later program sees it: set_dpi.sh 144 before the
# high-dpi cases, set_dpi.sh 96 after them.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../tools/common.sh"
dpi=${1:?dots per inch}
# The setting winecfg writes; Wine reads it when its server starts.
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f </dev/null >/dev/null 2>&1
wineserver -k 2>/dev/null || true
timeout 60 wineserver -w 2>/dev/null || true
# The server and the prefix's services outlive this script: none of them may
# hold its output open, or ctest waits for them to end.
wineserver -p </dev/null >/dev/null 2>&1
timeout 120 wine cmd /c exit </dev/null >/dev/null 2>&1 || true
echo "LogPixels $dpi"
