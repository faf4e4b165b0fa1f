#!/usr/bin/env bash
# smoke.sh RATESVC CALLBENCH CALLBENCH_GSOAP RATES: starts the rate service on
# a free loopback port, makes three calls with each client, and checks that
# both succeed with the same rate and that a wrong namespace fails.
set -euo pipefail
ratesvc=$1 ours=$2 theirs=$3 rates=$4
work=$(mktemp -d "${TMPDIR:-/tmp}/zelvane-callbench-smoke.XXXXXX")
server=
cleanup() {
  if [ -n "$server" ]; then kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

"$ratesvc" --rates "$rates" --port 0 --port-file "$work/port" >"$work/ratesvc.log" 2>&1 &
server=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.1; done
[ -s "$work/port" ] || { echo "rate service did not start"; cat "$work/ratesvc.log"; exit 1; }
url="http://127.0.0.1:$(cat "$work/port")/CurrencyConvertor.asmx"

a=$("$ours" "$url" 3)
b=$("$theirs" "$url" 3)
echo "ours:  $a"
echo "gSOAP: $b"
[[ $a =~ ^calls\ 3,\ failures\ 0,\ rate\ ([0-9.]+)$ ]] || { echo "unexpected output from our client"; exit 1; }
rate=${BASH_REMATCH[1]}
[ "$rate" != "0.0000" ] || { echo "no rate"; exit 1; }
[ "$b" = "$a" ] || { echo "the clients disagree"; exit 1; }

if out=$("$ours" "$url" 2 urn:not-the-service 2>&1); then
  echo "a call in the wrong namespace succeeded: $out"; exit 1
fi
[[ $out == *"failures 2"* ]] || { echo "unexpected output for the wrong namespace: $out"; exit 1; }
echo "ok"
