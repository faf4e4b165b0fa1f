#!/usr/bin/env bash
# The running monitor under Wine beside Wine's own notepad.exe, in one run:
# the soak, and what the monitor holds as it runs.
#
# Starts the local rate service on a free loopback port with a rates file
# that keeps changing (tools/monitor_harness/change_rates.py), Wine's
# notepad.exe idle as the reference, and tools/monitor_harness under Wine for
# N polls of the on-screen window's own poll path with the log and the alarm
# check live. At the start, after 100 polls, at points along the way, after
# N polls and after the idle time, the harness stops while
# process_figures.exe reads the private memory, handle count and GDI/USER
# objects of both from outside. Then the window's own message loop runs idle
# (rates no longer changing) and the messages it takes are counted. Last:
# every poll answered (the service's own log) and logged (the log file's
# lines). Targets: within 2x of idle notepad's, flat; only timer messages
# when idle.
#   tools/measure-monitor.sh [--no-build] [polls] [idle seconds]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$ZELVANE_ROOT"

build=1; [ "${1:-}" = "--no-build" ] && { build=0; shift; }
polls=${1:-10000}
idle=${2:-60}
change_ms=${ZELVANE_CHANGE_MS:-20}  # how often the rates file is rewritten
if ((build)); then
  bash tools/setup.sh
  cmake --preset bench >/dev/null
  cmake --build --preset bench -j 2 --target zelvane-ratesvc >/dev/null
  cmake --preset mingw >/dev/null
  cmake --build --preset mingw -j 2 --target monitor_harness process_figures >/dev/null
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/zelvane-soak.XXXXXX")
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  wineserver -k 2>/dev/null || true
  zelvane_xvfb_stop
  [ -n "${ZELVANE_SOAK_KEEP:-}" ] || rm -rf "$work"
}
source tools/xvfb.sh
wineserver -p 60
trap cleanup EXIT
timeout 120 wine cmd /c exit >/dev/null 2>&1 || true

# The service, on a rates file of our own that changes from now on.
cp ratesvc/sample-rates.xml "$work/rates.xml"
build/bench/ratesvc/zelvane-ratesvc --rates "$work/rates.xml" --port 0 --port-file "$work/port" \
  --verbose >"$work/service.out" 2>"$work/service.log" &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.1; done
[ -s "$work/port" ] || { log "the rate service did not start"; cat "$work/service.log" >&2; exit 1; }
url="http://127.0.0.1:$(cat "$work/port")/CurrencyConvertor.asmx"
python3 tools/monitor_harness/change_rates.py ratesvc/sample-rates.xml "$work/rates.xml" "$change_ms" \
  >"$work/changes.out" &
changer=$!
pids+=("$changer")

# The reference: notepad.exe, idle for the whole run.
wine notepad >/dev/null 2>&1 &
pids+=($!)
figures() { wine build/mingw/tools/winbench/process_figures.exe "$@" 2>/dev/null | tr -d '\r'; }
for _ in $(seq 100); do figures notepad.exe | grep -q . && break; sleep 0.2; done
figures notepad.exe | grep -q . || { log "notepad.exe did not start"; exit 1; }

mkdir -p "$work/log"
logdir="$(winepath -w "$work/log" 2>/dev/null)\\"
report_at=100
for n in 1000 2500 5000 7500; do ((n < polls)) && report_at+=",$n"; done
((polls > 100)) && report_at+=",$polls"
# The rates stop changing ten polls before the end: the last change has been
# seen and shown before the idle time, which should hear only the poll timer.
still=$((polls - 10))
((still > 100)) && report_at+=",$still"

log "$polls polls, then $idle s idle (rates file rewritten every $change_ms ms until then)"
# The harness says "at <label> ..." and waits; we read both processes and let it go on.
coproc HARNESS { wine build/mingw/tools/monitor_harness/monitor_harness.exe --url "$url" \
  --namespace http://zelvane.morvast.example/ --polls "$polls" --report-at "$report_at" \
  --idle-seconds "$idle" --log-folder "$logdir" --alarm-high 150 --pause 2>"$work/harness.err"; }
harness_in=${HARNESS[1]}; harness_pid=$HARNESS_PID
: >"$work/figures"
while IFS= read -r line <&"${HARNESS[0]}"; do
  line=${line%$'\r'}
  echo "$line" >>"$work/harness.out"
  case $line in
    at\ *)
      set -- $line
      label=$2; [ "$label" = polls ] && label="${3#polls=}"
      if [ "$label" = "$still" ] || [ "$label" = idle ]; then
        kill "$changer" 2>/dev/null || true; wait "$changer" 2>/dev/null || true
        [ "$label" = idle ] || { echo >&"$harness_in"; continue; }
      fi
      h=$(figures monitor_harness.exe | head -n 1); np=$(figures notepad.exe | head -n 1)
      [ -n "$h" ] && [ -n "$np" ] || { log "no figures at $label"; exit 1; }
      echo "$label $h $np" >>"$work/figures"
      echo >&"$harness_in"
      ;;
  esac
done
wait "$harness_pid" || { log "the harness failed"; cat "$work/harness.err" "$work/harness.out" >&2; exit 1; }

# What was asked, answered and logged.
idle_line=$(grep '^idle ' "$work/harness.out" || true)
polled_line=$(grep '^polled ' "$work/harness.out" || true)
idle_polls=$(sed -n 's/.*timer(poll)=\([0-9]*\).*/\1/p' <<<"$idle_line"); idle_polls=${idle_polls:-0}
answered=$(grep -c ': ConversionRate ' "$work/service.log" || true)
faults=$(grep -c ': fault: ' "$work/service.log" || true)
reloads=$(grep -c ' rates of ' "$work/service.log" || true)
logged=$(find "$work/log" -type f -exec cat {} + | wc -l)
distinct=$(sed -n 's/.* -> //p' "$work/service.log" | sort -u | wc -l)

echo
echo "figures at each point (private KiB / handles / GDI / USER), monitor_harness beside idle notepad.exe:"
printf '%-8s %10s %8s %5s %5s   %10s %8s %5s %5s   %7s %7s\n' point private handles gdi user \
  "np priv" "np hdl" "np g" "np u" "priv x" "hdl x"
while read -r label _ _ hp hh hg hu _ _ np nh ng nu; do
  printf '%-8s %10s %8s %5s %5s   %10s %8s %5s %5s   %7s %7s\n' "$label" "$hp" "$hh" "$hg" "$hu" "$np" "$nh" "$ng" "$nu" \
    "$(awk -v a="$hp" -v b="$np" 'BEGIN { printf "%.2f", a / b }')" \
    "$(awk -v a="$hh" -v b="$nh" 'BEGIN { printf "%.2f", a / b }')"
done <"$work/figures"
echo "(GDI/USER 0: Wine does not count them; its GetGuiResources is not implemented)"
echo
echo "$polled_line"
echo "$idle_line"
echo "messages per idle minute: $(awk -v l="$idle_line" -v s="$idle" 'BEGIN {
  split(l, f, " "); for (i in f) if (f[i] ~ /^messages=/) { sub(/messages=/, "", f[i]); printf "%.1f", f[i] * 60 / s } }')" \
  "(the poll timer alone, every 20 s: 3)"
echo
echo "rates file rewritten: $(sed -n 's/.*wrote \([0-9]*\).*/\1/p' "$work/changes.out") times;" \
  "service reloads: $reloads; distinct rates answered: $distinct"
echo "answered: $answered of $((1 + polls + idle_polls)) (the start-up probe, $polls polls, $idle_polls idle polls); faults: $faults"
echo "logged:   $logged lines of $((polls + idle_polls))"
status=0
((answered == 1 + polls + idle_polls && faults == 0)) || { echo "LOST: not every poll was answered"; status=1; }
((logged == polls + idle_polls)) || { echo "LOST: not every poll was logged"; status=1; }
exit $status
