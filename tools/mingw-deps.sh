#!/usr/bin/env bash
# Builds the rate service's C/C++ dependencies for Windows from Debian's own
# source packages, since Debian ships no MinGW build of them:
#   expat  - a static library, cross-built with CMake
#   gsoap  - only its runtime sources (stdsoap2.cpp), compiled by our CMake
#            with the flags of the generated code; soapcpp2 stays Debian's.
# Result: $ZELVANE_DEPS/x86_64-w64-mingw32/{include,lib,src/gsoap}.
# Safe to run again: a finished step leaves a stamp and is skipped.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

DEPS=${ZELVANE_DEPS:-$ZELVANE_ROOT/build/deps}
HOST=x86_64-w64-mingw32
PREFIX=$DEPS/$HOST
mkdir -p "$DEPS/src" "$PREFIX/src"

SUDO=; [ "$(id -u)" -eq 0 ] || SUDO=sudo

# The source archive of the suites the machine already uses, unless some
# entry already offers it.
enable_sources() {
  if grep -rqsE '^[[:space:]]*(deb-src|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    return
  fi
  local list=/etc/apt/sources.list.d/debian.sources
  [ -f "$list" ] || { log "no $list: add a deb-src entry by hand"; return 1; }
  log "enabling Debian's source archive"
  # The same entries as the binary ones, as deb-src.
  sed -e 's/^Types:.*/Types: deb-src/' "$list" | $SUDO tee /etc/apt/sources.list.d/zelvane-src.sources >/dev/null
  $SUDO apt-get -o DPkg::Lock::Timeout=900 update -qq
}

# Unpacks the source of the installed binary package's version, so that the
# runtime matches Debian's soapcpp2 and expat headers; when the archive no
# longer has that exact revision, its current one of the same package.
fetch_source() {  # <source package> <binary package whose version to match>
  local src=$1 bin=$2 version
  version=$(dpkg-query -W -f='${source:Version}' "$bin")
  local dir="$DEPS/src/$src-$version"
  if [ ! -f "$dir/.unpacked" ]; then
    enable_sources
    log "fetching the source of $src $version"
    rm -rf "$dir" && mkdir -p "$dir"
    local v ok=
    for v in "$version" $(apt-cache showsrc "$src" | awk '/^Version:/ {print $2}' | sort -rV); do
      rm -f "$dir"/*
      if (cd "$dir" && apt-get source -qq --download-only "$src=$v" >/dev/null 2>&1); then ok=$v; break; fi
    done
    [ -n "$ok" ] || { log "cannot fetch the source of $src"; return 1; }
    [ "$ok" = "$version" ] || log "$src $version is no longer in the archive; using $ok"
    (cd "$dir" && dpkg-source -x ./*.dsc tree >/dev/null 2>&1)  # apt checked its hashes
    touch "$dir/.unpacked"
  fi
  echo "$dir/tree"
}

expat_src=$(fetch_source expat libexpat1-dev)
if [ ! -f "$PREFIX/.expat" ] || [ "$(cat "$PREFIX/.expat")" != "$expat_src" ]; then
  log "building expat for $HOST"
  rm -rf "$DEPS/build-expat"
  cmake -S "$expat_src/expat" -B "$DEPS/build-expat" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$ZELVANE_ROOT/cmake/mingw-w64-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$PREFIX" -DEXPAT_SHARED_LIBS=OFF -DEXPAT_BUILD_TOOLS=OFF -DEXPAT_BUILD_EXAMPLES=OFF \
    -DEXPAT_BUILD_TESTS=OFF -DEXPAT_BUILD_DOCS=OFF -DEXPAT_BUILD_PKGCONFIG=OFF >/dev/null
  # Debian's security patches test "XML_DTD == 1", as its autotools build
  # defines it; expat's CMake build defines it empty.
  sed -i 's/^#define XML_DTD$/#define XML_DTD 1/' "$DEPS/build-expat/expat_config.h"
  cmake --build "$DEPS/build-expat" -j2 >/dev/null
  cmake --install "$DEPS/build-expat" >/dev/null
  echo "$expat_src" >"$PREFIX/.expat"
fi

gsoap_src=$(fetch_source gsoap gsoap)
if [ ! -f "$PREFIX/src/gsoap/.from" ] || [ "$(cat "$PREFIX/src/gsoap/.from")" != "$gsoap_src" ]; then
  log "taking gSOAP's runtime sources"
  rm -rf "$PREFIX/src/gsoap" && mkdir -p "$PREFIX/src/gsoap"
  cp "$gsoap_src/gsoap/stdsoap2.cpp" "$gsoap_src/gsoap/stdsoap2.h" "$PREFIX/src/gsoap/"
  echo "$gsoap_src" >"$PREFIX/src/gsoap/.from"
fi
log "MinGW dependencies ready in $PREFIX"
