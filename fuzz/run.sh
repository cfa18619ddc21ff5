#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a given time, starting from the
# committed seed corpus; fails when any target finds a crash.
#   fuzz/run.sh <build dir> <seconds per target>
# New inputs the fuzzer keeps go to <build dir>/corpus/<target>; crash
# reproducers go to <build dir>/crashes/<target>.
set -uo pipefail

BUILD=${1:?usage: run.sh <build dir> <seconds>}
SECONDS_EACH=${2:-60}
HERE=$(cd "$(dirname "$0")" && pwd)
export ASAN_OPTIONS=${ASAN_OPTIONS:-halt_on_error=1:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

failed=()
for seeds in "$HERE"/corpus/*/; do
  target=$(basename "$seeds")
  exe="$BUILD/fuzz_$target"
  if [ ! -x "$exe" ]; then
    echo "fuzz: $exe is missing" >&2
    failed+=("$target")
    continue
  fi
  work="$BUILD/corpus/$target"
  crashes="$BUILD/crashes/$target"
  mkdir -p "$work" "$crashes"
  echo "== fuzz_$target for ${SECONDS_EACH}s"
  if ! "$exe" -max_total_time="$SECONDS_EACH" -max_len=20000 -timeout=10 -rss_limit_mb=2048 \
       -print_final_stats=1 -artifact_prefix="$crashes/" "$work" "$seeds" \
       >"$BUILD/fuzz_$target.log" 2>&1; then
    echo "fuzz_$target FOUND A CRASH (see $BUILD/fuzz_$target.log and $crashes)" >&2
    tail -40 "$BUILD/fuzz_$target.log" >&2
    failed+=("$target")
  else
    grep -E "stat::number_of_executed_units|Done [0-9]+ runs" "$BUILD/fuzz_$target.log" | tail -2
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: failed: ${failed[*]}" >&2
  exit 1
fi
echo "fuzz: no crash in $(ls -d "$HERE"/corpus/*/ | wc -l) targets"
