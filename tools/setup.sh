#!/usr/bin/env bash
# Installs what building, running and testing need, then prepares the Wine
# prefix. Safe to run again: it only installs what is missing.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

missing=()
while read -r pkg; do
  [[ -z "$pkg" || "$pkg" == \#* ]] && continue
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "ok installed" || missing+=("$pkg")
done < "$ZELVANE_ROOT/tools/packages.txt"

SUDO=; [ "$(id -u)" -eq 0 ] || SUDO=sudo
if ((${#missing[@]})); then
  log "installing: ${missing[*]}"
  $SUDO apt-get -o DPkg::Lock::Timeout=900 update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get -o DPkg::Lock::Timeout=900 install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# A locale whose decimal separator is a comma, so that the tests can check
# that rates are written with a point whatever the C locale says.
if ! locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then
  log "generating the de_DE.UTF-8 locale"
  $SUDO localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi

# expat and gSOAP's runtime for the Windows rate service, from Debian's sources.
bash "$ZELVANE_ROOT/tools/mingw-deps.sh"

bash "$ZELVANE_ROOT/tools/wine-prefix.sh"
