#!/usr/bin/env bash
# Runs every test program whole, once each, all at the same time. CTest runs one
# test per process, so a test that relies on what an earlier one left behind,
# or that leaves something behind that breaks a later one, passes there and
# fails here. The programs get the environment CTest gives them; each prints
# its time, and a failing one its failed tests and its log.
#   scripts/test-whole.sh [BUILD]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=$(cd "${1:-${QUOR_BUILD_DIR:-build}}" && pwd)
LOGS="$BUILD/whole-runs"
mkdir -p "$LOGS"
while IFS= read -r variable; do
  [ -n "$variable" ] && export "${variable?}"
done < "$BUILD/tests/test-environment.txt"

names=()
while read -r name program; do
  names+=("$name")
  (
    start=$(date +%s%N)
    status=0
    "$program" > "$LOGS/$name.log" 2>&1 || status=$?
    echo "$status $(( ($(date +%s%N) - start) / 1000000 ))" > "$LOGS/$name.result"
  ) &
done < "$BUILD/tests/test-programs.txt"
wait

failed=0
for name in "${names[@]}"; do
  read -r status ms < "$LOGS/$name.result"
  seconds=$(printf '%d.%01d' $((ms / 1000)) $((ms % 1000 / 100)))
  if [ "$status" -eq 0 ]; then
    echo "whole run: $name passed in ${seconds} s"
  else
    echo "whole run: $name FAILED (status $status) in ${seconds} s; log: $LOGS/$name.log"
    grep -E '^\[  FAILED  \] [^ ]+\.[^ ]+' "$LOGS/$name.log" | sort -u || tail -n 20 "$LOGS/$name.log"
    failed=1
  fi
done
exit "$failed"
