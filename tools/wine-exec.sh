#!/usr/bin/env bash
# Runs a Windows test program under Wine in the project's prefix; ctest uses
# this as the cross-compiling emulator.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
[ -f "$WINEPREFIX/.zelvane-ready" ] || bash "$ZELVANE_ROOT/tools/wine-prefix.sh" >&2
exec wine "$@"
