#!/usr/bin/env bash
# Creates the project's Wine prefix once and maps the dialog fonts to
# installed Japanese fonts, so Japanese captions show real glyphs. The Ume
# fonts keep the metrics of the fonts they stand in for, so labels laid out
# in dialog units fit as they do on Windows.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

stamp="$WINEPREFIX/.zelvane-ready"
[ -f "$stamp" ] && exit 0

log "creating the Wine prefix in $WINEPREFIX"
mkdir -p "$WINEPREFIX"
wine wineboot -i >/dev/null 2>&1 || true
timeout 120 wineserver -w || true

reg="$WINEPREFIX/zelvane-fonts.reg"
# regedit reads version 5 files as UTF-16; the font names are Japanese.
python3 - "$reg" <<'PY'
import sys
text = r'''Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"MS UI Gothic"="Ume UI Gothic"
"ＭＳ ゴシック"="Ume Gothic"
"ＭＳ Ｐゴシック"="Ume P Gothic"
"MS Gothic"="Ume Gothic"
"MS PGothic"="Ume P Gothic"

; Wine draws the window frames itself, so captions show without a window
; manager (Xvfb).
[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Decorated"="N"

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes]
"MS Shell Dlg"="Ume UI Gothic"
"MS Shell Dlg 2"="Ume UI Gothic"
'''
open(sys.argv[1], 'wb').write(b'\xff\xfe' + text.replace('\n', '\r\n').encode('utf-16-le'))
PY
wine regedit /S "$(winepath -w "$reg" 2>/dev/null)" >/dev/null 2>&1
timeout 120 wineserver -w || true
touch "$stamp"
