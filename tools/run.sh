#!/usr/bin/env bash
# Builds Zelvane.exe and the local rate service, starts the service on
# loopback, points the program's "Service" settings at it and starts the
# program under Wine. Without a display it runs under Xvfb, presses GET and
# writes a screenshot to build/screenshot.png.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$ZELVANE_ROOT"

bash tools/setup.sh
had_display=${DISPLAY:-}
source tools/xvfb.sh

log "building the local rate service"
cmake --preset bench >/dev/null
cmake --build --preset bench --target zelvane-ratesvc -j "$(nproc)"
log "building Zelvane.exe"
cmake --preset mingw >/dev/null
cmake --build --preset mingw --target Zelvane xlserver -j "$(nproc)"
exe=build/mingw/Zelvane.exe
# The stand-in for Excel, so the Excel page can import without an Excel
# (tools/xlserver/sample.xls is a workbook to try it on).
wine build/mingw/tools/xlserver/xlserver.exe /RegServer || log "the stand-in Excel server was not registered"

rates=${ZELVANE_RATES:-tools/ratesvc/sample-rates.xml}
portfile=build/ratesvc.port
rm -f "$portfile"
build/bench/tools/ratesvc/zelvane-ratesvc --rates "$rates" --port "${ZELVANE_PORT:-0}" --port-file "$portfile" &
service=$!
cleanup() { kill "$service" 2>/dev/null || true; }
trap 'cleanup; [ -n "${ZELVANE_XVFB_PID:-}" ] && { wineserver -k 2>/dev/null; kill "$ZELVANE_XVFB_PID" 2>/dev/null; }; true' EXIT
for _ in $(seq 100); do [ -s "$portfile" ] && break; sleep 0.1; done
port=$(cat "$portfile")
log "rate service on 127.0.0.1:$port ($rates)"

key='HKCU\Software\Morvast\Zelvane\Service'
wine reg add "$key" /v ConversionRateUrl /t REG_SZ /d "http://127.0.0.1:$port/CurrencyConvertor.asmx" /f >/dev/null
wine reg add "$key" /v ExchangeRateUrl /t REG_SZ /d "http://127.0.0.1:$port/soap" /f >/dev/null

if [ -n "$had_display" ]; then
  log "starting Zelvane on $DISPLAY"
  wine "$exe"
  exit 0
fi

log "no display: running under Xvfb on $DISPLAY"
wine "$exe" &
app=$!
win=
for _ in $(seq 200); do
  win=$(xdotool search --name '^Kesuna$' 2>/dev/null | head -n 1) && [ -n "$win" ] && break
  sleep 0.1
done
[ -n "$win" ] || { log "the main dialog did not appear"; exit 1; }
sleep 1
# GET is the default button: Enter presses it.
xdotool windowfocus --sync "$win" key Return
sleep "${ZELVANE_SCREENSHOT_DELAY:-3}"
import -window root build/screenshot.png
log "screenshot: build/screenshot.png"
kill "$app" 2>/dev/null || true
