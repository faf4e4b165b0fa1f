#!/usr/bin/env bash
# What one ConversionRate call costs the client, in instructions: builds the
# optimised bench preset, starts two servers on free loopback ports, the
# local rate service (zelvane-ratesvc, gSOAP's lean answer) and
# dotnet_server.py (a .NET-style answer: XML declaration, more namespace
# declarations, a WS-Addressing/WS-Security header block), runs our client
# and the gSOAP-generated one against each under callgrind for N = 1 and
# N = 101 calls on one kept-alive connection, and prints
# (Ir(101) - Ir(1)) / 100 for each, ours beside gSOAP's. Start-up and the
# first connect cancel out in the difference. Target: ours at most one fifth
# of gSOAP's on both servers.
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
servers=()
cleanup() {
  for pid in "${servers[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# start <name> <command...>: the command publishes its port in $work/<name>.port.
start() {
  local name=$1; shift
  "$@" >"$work/$name.log" 2>&1 &
  servers+=($!)
  for _ in $(seq 100); do [ -s "$work/$name.port" ] && break; sleep 0.1; done
  [ -s "$work/$name.port" ] || { log "$name did not start"; cat "$work/$name.log" >&2; exit 1; }
  cat "$work/$name.port"
}
ratesvc_port=$(start ratesvc "$build/ratesvc/zelvane-ratesvc" --rates ratesvc/sample-rates.xml \
  --port 0 --port-file "$work/ratesvc.port")
dotnet_port=$(start dotnet python3 tools/callbench/dotnet_server.py "$work/dotnet.port")

# Instructions of one run of <program> against <url> with <n> calls, from callgrind's totals.
count() {
  local program=$1 url=$2 n=$3 out="$work/callgrind.$1.$4.$3"
  valgrind --tool=callgrind --callgrind-out-file="$out" "$build/tools/callbench/$program" "$url" "$n" \
    >"$work/$program.$n.log" 2>&1 || { log "$program $n failed"; cat "$work/$program.$n.log" >&2; exit 1; }
  grep -E '^(summary|totals):' "$out" | head -n 1 | awk '{print $2}'
}
per_call() {  # per_call <program> <url> <server name>
  local one many
  one=$(count "$1" "$2" 1 "$3")
  many=$(count "$1" "$2" 101 "$3")
  if [ -n "${ZELVANE_CALLBENCH_KEEP:-}" ]; then
    mkdir -p "$ZELVANE_CALLBENCH_KEEP"
    cp "$work/callgrind.$1.$3.101" "$work/callgrind.$1.$3.1" "$ZELVANE_CALLBENCH_KEEP/"
  fi
  echo $(((many - one) / 100))
}

printf '%-34s %16s %16s %10s %8s\n' "server (answer bytes)" "ours Ir/call" "gSOAP Ir/call" "ours/gSOAP" target
status=0
for server in ratesvc dotnet; do
  port_var=${server}_port
  url="http://127.0.0.1:${!port_var}/CurrencyConvertor.asmx"
  bytes=$(python3 - "$url" <<'PY'
import http.client, sys, urllib.parse
u = urllib.parse.urlsplit(sys.argv[1])
body = ('<soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/"><soap:Body>'
        '<ConversionRate xmlns="http://zelvane.morvast.example/"><FromCurrency>USD</FromCurrency>'
        '<ToCurrency>JPY</ToCurrency></ConversionRate></soap:Body></soap:Envelope>')
c = http.client.HTTPConnection(u.hostname, u.port, timeout=10)
c.request("POST", u.path, body, {"Content-Type": "text/xml; charset=utf-8",
          "SOAPAction": '"http://zelvane.morvast.example/ConversionRate"'})
r = c.getresponse()
head = len("HTTP/1.1 %d %s\r\n" % (r.status, r.reason)) + sum(len(k) + len(v) + 4 for k, v in r.getheaders()) + 2
print("%d+%d" % (head, len(r.read())))
PY
)
  ours=$(per_call zelvane-callbench "$url" "$server")
  gsoap=$(per_call zelvane-callbench-gsoap "$url" "$server")
  ratio=$(awk -v a="$ours" -v b="$gsoap" 'BEGIN { printf "%.3f", a / b }')
  verdict=$(awk -v r="$ratio" 'BEGIN { print (r <= 0.2) ? "<= 0.20 ok" : "<= 0.20 MISSED" }')
  [[ $verdict == *MISSED ]] && status=1
  printf '%-34s %16s %16s %10s %8s\n' "$server ($bytes)" "$ours" "$gsoap" "$ratio" "$verdict"
done
exit $status
