# Sourced: gives the caller an X display, starting Xvfb when there is none.
if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 91 120); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    ZELVANE_XVFB_PID=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
    # A Wine session outliving its display breaks the next run that reuses
    # the display number: end the prefix's session along with the display.
    trap '[ -n "${WINEPREFIX:-}" ] && wineserver -k 2>/dev/null; kill $ZELVANE_XVFB_PID 2>/dev/null || true' EXIT
    break
  done
fi
