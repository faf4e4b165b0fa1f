#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for a bounded time on its seed
# corpus (tests/fuzz/corpus/<target>). Any crash, leak or sanitizer report
# fails the run.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$ZELVANE_ROOT"
seconds=${ZELVANE_FUZZ_SECONDS:-60}

[ -f tests/fuzz/CMakeLists.txt ] || { log "no fuzz targets"; exit 0; }
cmake --preset fuzz >/dev/null || exit 1
cmake --build --preset fuzz -j "$(nproc)" || exit 1

status=0
for target in build/fuzz/tests/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  seeds="tests/fuzz/corpus/$name"
  work="build/fuzz/corpus/$name"
  mkdir -p "$work" "build/fuzz/artifacts"
  log "fuzzing $name for ${seconds}s"
  if ! "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
       -artifact_prefix="build/fuzz/artifacts/$name-" -print_final_stats=1 \
       "$work" "$seeds" > "build/fuzz/$name.log" 2>&1; then
    tail -n 40 "build/fuzz/$name.log"
    log "fuzz target $name FAILED"
    status=1
  else
    grep -E '^stat::number_of_executed_units' "build/fuzz/$name.log" || true
  fi
done
exit $status
