#!/usr/bin/env bash
# Creates the project's Wine prefix once and maps the dialog fonts to the
# installed IPA fonts, so Japanese captions show real glyphs.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

stamp="$WINEPREFIX/.zelvane-ready"
[ -f "$stamp" ] && exit 0

log "creating the Wine prefix in $WINEPREFIX"
mkdir -p "$WINEPREFIX"
wine wineboot -i >/dev/null 2>&1 || true
wineserver -w

reg="$WINEPREFIX/zelvane-fonts.reg"
# regedit reads version 5 files as UTF-16; the font names are Japanese.
python3 - "$reg" <<'PY'
import sys
text = r'''Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"MS UI Gothic"="IPAPGothic"
"ＭＳ ゴシック"="IPAGothic"
"ＭＳ Ｐゴシック"="IPAPGothic"
"MS Gothic"="IPAGothic"
"MS PGothic"="IPAPGothic"

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes]
"MS Shell Dlg"="IPAPGothic"
"MS Shell Dlg 2"="IPAPGothic"
'''
open(sys.argv[1], 'wb').write(b'\xff\xfe' + text.replace('\n', '\r\n').encode('utf-16-le'))
PY
wine regedit /S "$(winepath -w "$reg" 2>/dev/null)" >/dev/null 2>&1
wineserver -w
touch "$stamp"
