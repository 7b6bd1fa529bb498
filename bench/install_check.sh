#!/usr/bin/env bash
# The installation check of a generated 2 GiB game in 2000 files of mixed sizes
# (nothing to repair) against the read floor: the same tree read once, nothing
# computed, by 8 readers in parallel. Both whole processes, alternating, median
# of several runs each. Prints, in this order:
#   install_check       Quor's InstallRepair, files in the page cache / find -print0 | xargs -0 -P8 cat >/dev/null
#   install_check_cold  the same with every file dropped from the page cache before each run
# Quor reads one file at a time when the folder's disk says it spins (a virtual
# disk often does); READERS=N sets its number of readers instead.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/lib/common.sh
BUILD=${BUILD:-build}
TOOL="$BUILD/bench/install_check/bench_install_check"
BENCH_MEASURE="$BUILD/bench/measure/bench_measure"
if [ ! -x "$TOOL" ] || [ ! -x "$BENCH_MEASURE" ]; then
  cmake --build "$BUILD" --target bench_install_check bench_measure -j"$(nproc)" >/dev/null
fi
RUNS=${RUNS:-5}
MIB=${MIB:-2048}
FILES=${FILES:-2000}
FIX="$BUILD/bench-fixtures/install-check-$MIB-$FILES"
if [ ! -f "$FIX/ready" ]; then
  rm -rf "$FIX"
  mkdir -p "$FIX"
  "$TOOL" generate "$FIX" "$MIB" "$FILES"
  touch "$FIX/ready"
fi
floor() { find "$FIX/game" -type f -print0 | xargs -0 -P8 cat >/dev/null; }
export -f floor
export FIX

# Warm: one untimed pass of each fills the cache.
"$TOOL" check "$FIX" ${READERS:-0}
floor
quor_s=() quor_b=() ref_s=() ref_b=()
for _ in $(seq "$RUNS"); do
  bench_run quor_s quor_b "$TOOL" check "$FIX" ${READERS:-0}
  bench_run ref_s ref_b bash -c floor
done
bench_line install_check "$(bench_median "${quor_s[@]}")" "$(bench_median "${ref_s[@]}")"

quor_s=() quor_b=() ref_s=() ref_b=()
for _ in $(seq "$RUNS"); do
  "$TOOL" drop "$FIX/game"
  bench_run quor_s quor_b "$TOOL" check "$FIX" ${READERS:-0}
  "$TOOL" drop "$FIX/game"
  bench_run ref_s ref_b bash -c floor
done
bench_line install_check_cold "$(bench_median "${quor_s[@]}")" "$(bench_median "${ref_s[@]}")"
