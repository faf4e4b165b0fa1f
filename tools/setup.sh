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

if ((${#missing[@]})); then
  log "installing: ${missing[*]}"
  SUDO=; [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get -o DPkg::Lock::Timeout=900 update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get -o DPkg::Lock::Timeout=900 install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

bash "$ZELVANE_ROOT/tools/wine-prefix.sh"
