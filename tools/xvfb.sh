# Sourced: gives the caller an X display, starting Xvfb when there is none.
# The display is ended on exit by zelvane_xvfb_stop; a caller that sets an
# EXIT trap of its own must call it from there.
zelvane_xvfb_stop() {
  [ -n "${ZELVANE_XVFB_PID:-}" ] || return 0
  # A Wine session outliving its display breaks the next run that reuses
  # the display number: end the prefix's session along with the display.
  # Failures here must not stop the clean-up (callers run under set -e).
  [ -n "${WINEPREFIX:-}" ] && { wineserver -k 2>/dev/null || true; }
  kill "$ZELVANE_XVFB_PID" 2>/dev/null || true
  wait "$ZELVANE_XVFB_PID" 2>/dev/null || true
  ZELVANE_XVFB_PID=
}
if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 91 120); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    ZELVANE_XVFB_PID=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
    trap zelvane_xvfb_stop EXIT
    break
  done
fi
