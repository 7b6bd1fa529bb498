# Helpers for the comparison scripts in bench/ (source this file).

# The median of the numbers given.
bench_median() {
  printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END {
    if (NR % 2) print v[(NR + 1) / 2]; else printf "%.6f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# bench_line NAME QUOR REFERENCE: the comparison line; below 1 means Quor is ahead.
bench_line() {
  awk -v n="$1" -v q="$2" -v r="$3" 'BEGIN { printf "%s ratio=%.3f quor=%s reference=%s\n", n, (r > 0 ? q / r : 0), q, r }'
}

# bench_run RESULT_VAR_SECONDS RESULT_VAR_BYTES COMMAND...: runs the command once
# under bench_measure and appends its wall seconds and peak bytes to two arrays.
bench_run() {
  local -n _seconds=$1
  local -n _bytes=$2
  shift 2
  local result
  result=$(mktemp)
  "$BENCH_MEASURE" "$result" "$@"
  local s b
  read -r s b < "$result"
  rm -f "$result"
  _seconds+=("$s")
  _bytes+=("$b")
}
