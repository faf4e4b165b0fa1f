#!/usr/bin/env bash
# The Windows rate service's idle footprint under Wine, beside Wine's own
# notepad.exe (a benchmark, not a test):
#   - private memory and handles right after start, after its first request,
#     after N more (half on one kept-alive connection, half each on a new
#     one) and after the idle time, read from outside by process_figures.exe;
#   - wake-ups per idle minute: the voluntary context switches of all the
#     process's threads (Wine runs each Windows thread as a Linux thread)
#     over the idle time, the service's and notepad's.
# The service fetches from a local stand-in for the bank on its normal
# interval (an hour), and from one for the live source (the tests' Coinbase
# answer) at its shortest, every 30 s: after the requests, LIVE live rounds
# are waited for (a point after them), and an idle minute should hear only
# the fetch timer's wake-ups.
# Targets: memory and handles at most notepad's and flat.
#   tools/measure-ratesvc.sh [--no-build] [requests] [idle seconds] [live rounds]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$ZELVANE_ROOT"

build=1; [ "${1:-}" = "--no-build" ] && { build=0; shift; }
requests=${1:-1000}
idle=${2:-60}
live=${3:-10}
if ((build)); then
  cmake --preset mingw >/dev/null
  cmake --build --preset mingw -j 2 --target zelvane-ratesvc process_figures >/dev/null
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/zelvane-ratesvc-bench.XXXXXX")
instance="bench-$$"
pids=()
cleanup() {
  wine build/mingw/ratesvc/zelvane-ratesvc.exe /stop --instance "$instance" >/dev/null 2>&1 || true
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  wineserver -k 2>/dev/null || true
  zelvane_xvfb_stop
  rm -rf "$work"
}
source tools/xvfb.sh
wineserver -p 60
trap cleanup EXIT
timeout 120 wine cmd /c exit >/dev/null 2>&1 || true

# The bank's stand-in: the sample file over plain http on loopback.
mkdir -p "$work/www"
cp ratesvc/sample-rates.xml "$work/www/eurofxref-daily.xml"
cp tests/ratesvc/standin/coinbase-usd.json "$work/www/exchange-rates"
python3 -m http.server 0 --bind 127.0.0.1 --directory "$work/www" >"$work/www.out" 2>&1 &
pids+=($!)
for _ in $(seq 50); do grep -q 'port' "$work/www.out" && break; sleep 0.1; done
www_port=$(sed -n 's/.*port \([0-9]*\).*/\1/p' "$work/www.out" | head -n 1)
[ -n "$www_port" ] || { log "the stand-in web server did not start"; exit 1; }

wwork=$(winepath -w "$work")
wine build/mingw/ratesvc/zelvane-ratesvc.exe --instance "$instance" --rates "$wwork\\rates.xml" \
  --port 0 --port-file "$wwork\\port" --log "$wwork\\ratesvc.log" \
  --rates-url "http://127.0.0.1:$www_port/eurofxref-daily.xml" \
  --live-url "http://127.0.0.1:$www_port/exchange-rates" --live-every 30 --reference-url "" --metals-url "" &
pids+=($!)
for _ in $(seq 200); do [ -s "$work/port" ] && break; sleep 0.1; done
[ -s "$work/port" ] || { log "the rate service did not start"; cat "$work/ratesvc.log" >&2 || true; exit 1; }
port=$(tr -dc '0-9' <"$work/port")

wine notepad >/dev/null 2>&1 &
pids+=($!)
figures() { wine build/mingw/tools/winbench/process_figures.exe "$@" 2>/dev/null | tr -d '\r'; }
for _ in $(seq 100); do figures notepad.exe | grep -q . && break; sleep 0.2; done
figures notepad.exe | grep -q . || { log "notepad.exe did not start"; exit 1; }

# Linux processes of the two, by their command lines.
svc_pid=$(pgrep -f -- "--instance $instance" | while read -r p; do
  tr '\0' ' ' </proc/"$p"/cmdline | grep -q 'zelvane-ratesvc.exe' && ! tr '\0' ' ' </proc/"$p"/cmdline | grep -q '^wine ' && echo "$p"
done | head -n 1)
np_pid=$(pgrep -f -- 'notepad' | while read -r p; do
  [ "$(readlink /proc/"$p"/exe 2>/dev/null)" != "" ] && tr '\0' ' ' </proc/"$p"/cmdline | grep -qi 'notepad.exe' && echo "$p"
done | head -n 1)
[ -n "$svc_pid" ] && [ -n "$np_pid" ] || { log "cannot find the Linux processes (service '$svc_pid', notepad '$np_pid')"; exit 1; }
switches() {  # voluntary context switches of all threads of a process
  cat /proc/"$1"/task/*/status 2>/dev/null | awk '/^voluntary_ctxt_switches/ { n += $2 } END { print n + 0 }'
}

sleep 2  # past the start-up's first fetch and load
: >"$work/figures"
point() { echo "$1 $(figures zelvane-ratesvc.exe | head -n 1) $(figures notepad.exe | head -n 1)" >>"$work/figures"; }
point start

send_requests() {
python3 - "$port" "$1" <<'PY'
import socket, sys
port, total = int(sys.argv[1]), int(sys.argv[2])
body = (b'<soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/"><soap:Body>'
        b'<ConversionRate xmlns="http://zelvane.morvast.example/"><FromCurrency>USD</FromCurrency>'
        b'<ToCurrency>JPY</ToCurrency></ConversionRate></soap:Body></soap:Envelope>')
request = (b'POST /CurrencyConvertor.asmx HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nContent-Type: text/xml; charset=utf-8\r\n'
           b'SOAPAction: "http://zelvane.morvast.example/ConversionRate"\r\nContent-Length: %d\r\n\r\n' % (port, len(body))) + body
def call(s):
    s.sendall(request)
    data = b''
    while b'\r\n\r\n' not in data:
        data += s.recv(4096)
    head, rest = data.split(b'\r\n\r\n', 1)
    length = int([l.split(b':')[1] for l in head.split(b'\r\n') if l.lower().startswith(b'content-length')][0])
    while len(rest) < length:
        rest += s.recv(4096)
    if b'ConversionRateResult' not in rest:
        sys.exit('no rate in: %r' % rest[:300])
kept = socket.create_connection(('127.0.0.1', port))
for _ in range(total // 2):
    call(kept)
kept.close()
for _ in range(total - total // 2):
    with socket.create_connection(('127.0.0.1', port)) as s:
        call(s)
print('requests answered: %d' % total)
PY
}
send_requests 1
point after-1
send_requests "$requests"
point "after-$requests"

# Live rounds, counted by the stand-in's log of requests for the live answer.
live_rounds() { grep -c 'GET /exchange-rates' "$work/www.out" || true; }
target=$(($(live_rounds) + live))
for _ in $(seq $((live * 40))); do [ "$(live_rounds)" -ge "$target" ] && break; sleep 1; done
point "after-${live}-live"

s0=$(switches "$svc_pid"); n0=$(switches "$np_pid")
sleep "$idle"
s1=$(switches "$svc_pid"); n1=$(switches "$np_pid")
point "after-idle"

echo
echo "zelvane-ratesvc.exe beside idle notepad.exe (private KiB / handles):"
printf '%-12s %10s %8s   %10s %8s\n' point private handles "np priv" "np hdl"
while read -r label _ _ sp sh _ _ _ _ np nh _ _; do
  printf '%-12s %10s %8s   %10s %8s\n' "$label" "$sp" "$sh" "$np" "$nh"
done <"$work/figures"
echo
echo "Linux processes: service $svc_pid ($(ls /proc/"$svc_pid"/task | wc -l) threads, switches $s0 -> $s1)," \
  "notepad $np_pid ($(ls /proc/"$np_pid"/task | wc -l) threads, switches $n0 -> $n1)"
awk -v s="$((s1 - s0))" -v n="$((n1 - n0))" -v t="$idle" 'BEGIN {
  printf "wake-ups per idle minute (voluntary context switches, all threads): service %.1f, notepad %.1f\n", s * 60 / t, n * 60 / t }'
echo "live rounds answered by the stand-in: $(live_rounds)"
echo "service log:"
sed 's/^/  /' "$work/ratesvc.log"
