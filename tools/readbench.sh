#!/usr/bin/env bash
# HTTP response reading, ours beside Node's llhttp (the C sources of
# Debian's node-llhttp) and Node's older http_parser (libhttp-parser-dev) on
# the same responses: ns per byte (median of 9 interleaved rounds) and
# instructions per byte (callgrind, counting only the read loop,
# (Ir(1+N) - Ir(1)) / N so that set-up cancels out).
#   tools/readbench.sh [--no-build]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$ZELVANE_ROOT"

build=build/bench
if [ "${1:-}" != "--no-build" ]; then
  log "building the bench preset (Release)"
  cmake --preset bench >/dev/null
  cmake --build --preset bench -j 2 --target bench_http_read >/dev/null
fi
bench=$build/tests/bench/bench_http_read
work=$(mktemp -d "${TMPDIR:-/tmp}/zelvane-readbench.XXXXXX")
trap 'rm -rf "$work"' EXIT

"$bench" time >"$work/time"

# Instructions of <parser> reading <response> <n> times.
count() {
  local out="$work/callgrind.$1.$2.$3"
  valgrind --tool=callgrind --collect-atstart=no --toggle-collect=zelvane_counted_loop \
    --callgrind-out-file="$out" "$bench" count "$1" "$2" "$3" >/dev/null 2>"$work/valgrind.log" ||
    { log "$1 on $2 failed"; cat "$work/valgrind.log" >&2; exit 1; }
  grep -E '^(summary|totals):' "$out" | head -n 1 | awk '{print $2}'
}

parsers=(ours llhttp http_parser)
printf '%-16s %7s | %-32s | %-32s\n' "" "" "ns/byte" "instructions/byte"
printf '%-16s %7s | %10s %10s %10s | %10s %10s %10s\n' response bytes "${parsers[@]}" "${parsers[@]}"
while read -r name bytes; do
  n=200; [ "$bytes" -gt 10000 ] && n=10
  ir=()
  for parser in "${parsers[@]}"; do
    one=$(count "$parser" "$name" 1)
    many=$(count "$parser" "$name" $((n + 1)))
    ir+=("$(awk -v a="$one" -v b="$many" -v n="$n" -v s="$bytes" 'BEGIN { printf "%.2f", (b - a) / n / s }')")
  done
  read -r _ _ ns1 ns2 ns3 < <(grep "^$name " "$work/time")
  printf '%-16s %7s | %10s %10s %10s | %10s %10s %10s\n' "$name" "$bytes" "$ns1" "$ns2" "$ns3" "${ir[@]}"
done < <("$bench" list)
echo "llhttp $(dpkg-query -W -f='${Version}' node-llhttp 2>/dev/null) (node-llhttp), http_parser $(dpkg-query -W -f='${Version}' libhttp-parser-dev 2>/dev/null) (libhttp-parser-dev)"
