#!/usr/bin/env bash
# Reading a 200000-entry manifest against libxml2's xmllint building and dropping
# the tree of the same file (both whole processes: read, parse, free), median of
# several runs each. Prints, in this order:
#   manifest_parse         Quor reading the file into manifest entries / xmllint --noout --huge
#   manifest_parse_memory  the same, peak bytes (ru_maxrss)
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/lib/common.sh
BUILD=${BUILD:-build}
TOOL="$BUILD/bench/manifest_parse/bench_manifest_parse"
BENCH_MEASURE="$BUILD/bench/measure/bench_measure"
if [ ! -x "$TOOL" ] || [ ! -x "$BENCH_MEASURE" ]; then
  cmake --build "$BUILD" --target bench_manifest_parse bench_measure -j"$(nproc)" >/dev/null
fi
RUNS=${RUNS:-5}
FIX="$BUILD/bench-fixtures/manifest-1"
mkdir -p "$FIX"
if [ ! -f "$FIX/manifest.xml" ]; then
  "$TOOL" generate "$FIX/manifest.xml.tmp" "${ENTRIES:-200000}"
  mv "$FIX/manifest.xml.tmp" "$FIX/manifest.xml"
fi
xmllint --noout --huge "$FIX/manifest.xml"
read -r _ entries < <("$TOOL" parse "$FIX/manifest.xml")
[ "$entries" -eq $(( ${ENTRIES:-200000} + 1 )) ] || { echo "Quor read $entries entries" >&2; exit 1; }

quor_s=() quor_b=() ref_s=() ref_b=()
for _ in $(seq "$RUNS"); do
  bench_run quor_s quor_b "$TOOL" parse "$FIX/manifest.xml"
  bench_run ref_s ref_b xmllint --noout --huge "$FIX/manifest.xml"
done
bench_line manifest_parse "$(bench_median "${quor_s[@]}")" "$(bench_median "${ref_s[@]}")"
bench_line manifest_parse_memory "$(bench_median "${quor_b[@]}")" "$(bench_median "${ref_b[@]}")"
