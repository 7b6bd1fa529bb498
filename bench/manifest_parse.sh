#!/usr/bin/env bash
# A 200000-entry manifest read into entries by Quor, against libxml2's xmllint
# building and dropping the tree of the same file. Best of three runs each.
# Prints: manifest_parse ratio=<quor/reference> quor=<s> reference=<s> entries=<n> bytes=<n>
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
PROGRAM="$BUILD/bench/manifest_parse/bench_manifest_parse"
[ -x "$PROGRAM" ] || cmake --build "$BUILD" --target bench_manifest_parse -j4 >/dev/null
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
FILE="$WORK/manifest.xml"
"$PROGRAM" generate "$FILE" "${ENTRIES:-200000}"

best_quor=""
for _ in 1 2 3; do
  read -r seconds entries < <("$PROGRAM" parse "$FILE")
  best_quor=$(awk -v a="$seconds" -v b="${best_quor:-$seconds}" 'BEGIN { print (a < b ? a : b) }')
done

best_ref=""
for _ in 1 2 3; do
  start=$(date +%s.%N)
  xmllint --noout --huge "$FILE"
  end=$(date +%s.%N)
  seconds=$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f", e - s }')
  best_ref=$(awk -v a="$seconds" -v b="${best_ref:-$seconds}" 'BEGIN { print (a < b ? a : b) }')
done

ratio=$(awk -v q="$best_quor" -v r="$best_ref" 'BEGIN { printf "%.2f", (r > 0 ? q / r : 0) }')
echo "manifest_parse ratio=$ratio quor=${best_quor}s reference=${best_ref}s entries=$entries bytes=$(stat -c %s "$FILE")"
