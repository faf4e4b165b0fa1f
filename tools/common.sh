# Shared settings of the project's scripts; sourced, not run.
ZELVANE_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export ZELVANE_ROOT
export ZELVANE_WINEPREFIX=${ZELVANE_WINEPREFIX:-$ZELVANE_ROOT/build/wineprefix}
export WINEPREFIX=$ZELVANE_WINEPREFIX
export WINEARCH=win64
# No Mono or Gecko install prompts; quiet Wine's own diagnostics.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
export WINEDEBUG=${WINEDEBUG:--all}

log() { printf '==> %s\n' "$*" >&2; }
