#!/usr/bin/env bash
# What one ConversionRate call costs the client, in instructions: builds the
# optimised bench preset, starts zelvane-ratesvc on a free loopback port, runs
# our client and the gSOAP one under callgrind for N = 1 and N = 101 calls on
# one connection, and prints (Ir(101) - Ir(1)) / 100 for each. Start-up and
# the first connect cancel out in the difference.
#   tools/callbench/measure.sh [--no-build]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../common.sh"
cd "$ZELVANE_ROOT"

build=build/bench
if [ "${1:-}" != "--no-build" ]; then
  log "building the bench preset (Release)"
  cmake --preset bench >/dev/null
  cmake --build --preset bench -j 2 --target zelvane-ratesvc zelvane-callbench zelvane-callbench-gsoap >/dev/null
fi
command -v valgrind >/dev/null || { log "valgrind is missing (tools/packages.txt)"; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/zelvane-callbench.XXXXXX")
server=
cleanup() {
  if [ -n "$server" ]; then kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

"$build/tools/ratesvc/zelvane-ratesvc" --rates tools/ratesvc/sample-rates.xml --port 0 \
  --port-file "$work/port" >"$work/ratesvc.log" 2>&1 &
server=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.1; done
[ -s "$work/port" ] || { log "zelvane-ratesvc did not start"; cat "$work/ratesvc.log" >&2; exit 1; }
url="http://127.0.0.1:$(cat "$work/port")/CurrencyConvertor.asmx"
log "endpoint $url"

# Instructions of one run of <program> with <n> calls, from callgrind's totals.
count() {
  local program=$1 n=$2 out="$work/callgrind.$1.$2"
  valgrind --tool=callgrind --callgrind-out-file="$out" "$build/tools/callbench/$program" "$url" "$n" \
    >"$work/$program.$n.log" 2>&1 || { log "$program $n failed"; cat "$work/$program.$n.log" >&2; exit 1; }
  grep -E '^(summary|totals):' "$out" | head -n 1 | awk '{print $2}'
}

printf '%-26s %14s %14s %14s\n' client "Ir(N=1)" "Ir(N=101)" "Ir/call"
for program in zelvane-callbench zelvane-callbench-gsoap; do
  one=$(count "$program" 1)
  many=$(count "$program" 101)
  printf '%-26s %14s %14s %14s\n' "$program" "$one" "$many" $(((many - one) / 100))
  if [ -n "${ZELVANE_CALLBENCH_KEEP:-}" ]; then
    mkdir -p "$ZELVANE_CALLBENCH_KEEP"
    cp "$work/callgrind.$program.101" "$work/callgrind.$program.1" "$ZELVANE_CALLBENCH_KEEP/"
  fi
done
