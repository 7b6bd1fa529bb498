#!/usr/bin/env bash
# Quor's window against a bare web view (bench/bare-webview: one 901x601 frame
# on the same start page, replaying the page calls a Quor run recorded, so it
# shows the same catalogue). Both under one Xvfb, Quor against the demo
# publisher, each run with fresh and equal XDG folders, the two alternating.
# Needs the GUI build. Prints, in this order:
#   first_page      exec to the start page's load end (Quor: its activity log's page-loaded), median
#   idle_cpu        CPU time of the program and its child processes over IDLE_SECONDS, sitting idle
#   idle_cpu_tray   the same with Quor hidden to the tray (/silent, trayer running) / the bare view shown
#   window_memory   proportional set size (smaps_rollup) of the program and its children at the end of the idle run
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/lib/common.sh
source scripts/lib/background.sh
BUILD=${BUILD:-build}
QUOR="$BUILD/app/Quor"
BARE="$BUILD/bench/bare-webview/bare-webview"
PUBLISHER="$BUILD/tools/demo-publisher/demo-publisher"
if [ ! -x "$QUOR" ] || [ ! -x "$BARE" ] || [ ! -x "$PUBLISHER" ]; then
  cmake --build "$BUILD" --target Quor bare-webview demo-publisher -j"$(nproc)" >/dev/null
fi
RUNS=${RUNS:-11}
IDLE_SECONDS=${IDLE_SECONDS:-120}
# Both sides sit this long after the catalogue is shown before the idle time
# counts, so that banners still decoding or painting are not counted as idle.
IDLE_AFTER=${IDLE_AFTER:-10}
work_folder WORK

"$PUBLISHER" --port 0 --port-file "$WORK/port" >"$WORK/publisher.out" &
pids+=($!)
for _ in $(seq 600); do [ -s "$WORK/port" ] && break; sleep 0.1; done
[ -s "$WORK/port" ] || { echo "the demo publisher did not start" >&2; exit 1; }
export QUOR_SERVICE_URL="http://127.0.0.1:$(cat "$WORK/port")"
start_xvfb
unset QUOR_PAGE_CALL_LOG QUOR_ACTIVITY_LOG

# fresh_home DIR: empty XDG folders for one run.
fresh_home() {
  rm -rf "$1"
  mkdir -p "$1"/{home,config,data,cache,state,runtime}
  chmod 700 "$1/runtime"
}
# in_home DIR COMMAND...: runs the command in the background with DIR's folders.
in_home() {
  local dir=$1
  shift
  HOME="$dir/home" XDG_CONFIG_HOME="$dir/config" XDG_DATA_HOME="$dir/data" XDG_CACHE_HOME="$dir/cache" \
    XDG_STATE_HOME="$dir/state" XDG_RUNTIME_DIR="$dir/runtime" "$@" >/dev/null 2>&1 &
}
# wait_for FILE PATTERN SECONDS: until a line of FILE matches.
wait_for() {
  local deadline=$(( $(date +%s) + $3 ))
  until grep -q "$2" "$1" 2>/dev/null; do
    [ "$(date +%s)" -lt "$deadline" ] || return 1
    sleep 0.01
  done
}
# settle FILE: until a second passes without a new line in FILE.
settle() {
  local last=-1 now
  for _ in $(seq 30); do
    now=$(wc -l <"$1")
    [ "$now" = "$last" ] && return 0
    last=$now
    sleep 1
  done
}
# shown CALL_LOG: until the catalogue of the first manifest refresh is on the
# page and the page calls have settled.
shown() {
  wait_for "$1" "^delivered .*'addGamePanel'" 90 || return 1
  settle "$1"
}
# refreshed CALL_LOG: until the first manifest refresh (15 s after the start)
# has rebuilt the catalogue on the page and the page calls have settled: the
# idle runs count from there, so the rebuild is not counted as idle.
refreshed() {
  local deadline=$(( $(date +%s) + 90 ))
  local n
  while n=$(grep -c "^delivered .*'clearGamePanels'" "$1" 2>/dev/null); [ "${n:-0}" -lt 2 ]; do
    [ "$(date +%s)" -lt "$deadline" ] || return 1
    sleep 0.1
  done
  wait_for "$1" "^delivered .*'addGamePanel'" 90 && settle "$1"
}
# tree PID: the process and all its descendants.
tree() {
  local all=("$1") i=0 kids
  while [ "$i" -lt "${#all[@]}" ]; do
    kids=$(ps -o pid= --ppid "${all[$i]}" 2>/dev/null || true)
    for k in $kids; do all+=("$k"); done
    i=$((i + 1))
  done
  echo "${all[@]}"
}
# cpu_ns PID: CPU time of the tree in nanoseconds, from each process's user and
# system time, which (unlike a task's schedstat) keeps what its ended threads used.
cpu_ns() {
  local p
  for p in $(tree "$1"); do
    sed 's/.*) //' "/proc/$p/stat" 2>/dev/null || true
  done | awk -v hz="$(getconf CLK_TCK)" '{ s += $12 + $13 } END { printf "%.0f\n", s * 1e9 / hz }'
}
pss_bytes() {
  local sum=0 p v
  for p in $(tree "$1"); do
    v=$(awk '/^Pss:/ { print $2 }' "/proc/$p/smaps_rollup" 2>/dev/null || echo 0)
    sum=$((sum + ${v:-0} * 1024))
  done
  echo "$sum"
}
stop_tree() {
  local p
  for p in $(tree "$1"); do kill "$p" 2>/dev/null || true; done
  wait "$1" 2>/dev/null || true
}

# A recording run: the page calls the bare view replays.
fresh_home "$WORK/h"
QUOR_PAGE_CALL_LOG="$WORK/calls.log" in_home "$WORK/h" "$QUOR"
quor=$!
shown "$WORK/calls.log" || { echo "Quor did not show the catalogue" >&2; exit 1; }
stop_tree "$quor"
ADDRESS=$(sed -n "s|.*\(file://[^'\"]*brq_interface.html[^'\"]*\).*|\1|p" "$WORK/calls.log" | head -n1)
if [ -z "$ADDRESS" ]; then
  QUOR_ACTIVITY_LOG="$WORK/a.log" in_home "$WORK/h" "$QUOR"
  quor=$!
  wait_for "$WORK/a.log" "^page-loaded " 60
  stop_tree "$quor"
  ADDRESS=$(sed -n 's/^page-loaded //p' "$WORK/a.log" | head -n1)
fi

# start_quor LOG [ARGS...] / start_bare LOG: one program in a fresh home; sets started.
start_quor() {
  local log=$1
  shift
  fresh_home "$WORK/h"
  rm -f "$log"
  QUOR_ACTIVITY_LOG="$log" QUOR_PAGE_CALL_LOG="$WORK/run-calls.log" in_home "$WORK/h" "$QUOR" "$@"
  started=$!
}
start_bare() {
  fresh_home "$WORK/h"
  rm -f "$1"
  in_home "$WORK/h" "$BARE" "$ADDRESS" "$WORK/calls.log" "$1"
  started=$!
}
now() { date +%s.%N; }

quor_s=() bare_s=()
for _ in $(seq "$RUNS"); do
  t0=$(now); start_quor "$WORK/q.log"
  wait_for "$WORK/q.log" "^page-loaded " 60; t1=$(now); stop_tree "$started"
  quor_s+=("$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", b - a }')")
  t0=$(now); start_bare "$WORK/b.log"
  wait_for "$WORK/b.log" "^page-loaded " 60; t1=$(now); stop_tree "$started"
  bare_s+=("$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", b - a }')")
done
bench_line first_page "$(bench_median "${quor_s[@]}")" "$(bench_median "${bare_s[@]}")"

# idle PID: CPU nanoseconds over IDLE_SECONDS, then the PSS at the end.
idle() {
  local a b
  sleep "$IDLE_AFTER"
  a=$(cpu_ns "$1")
  sleep "$IDLE_SECONDS"
  b=$(cpu_ns "$1")
  echo "$((b - a)) $(pss_bytes "$1")"
}
start_quor "$WORK/q.log"
refreshed "$WORK/run-calls.log"
read -r quor_cpu quor_pss < <(idle "$started"); stop_tree "$started"
start_bare "$WORK/b.log"
wait_for "$WORK/b.log" "^page-loaded " 60; sleep 1
read -r bare_cpu bare_pss < <(idle "$started"); stop_tree "$started"
bench_line idle_cpu "$quor_cpu" "$bare_cpu"

trayer --edge top --align right --widthtype pixel --width 200 --heighttype pixel --height 24 >/dev/null 2>&1 &
pids+=($!)
sleep 1
start_quor "$WORK/q.log" /silent
refreshed "$WORK/run-calls.log" || true
read -r tray_cpu _ < <(idle "$started"); stop_tree "$started"
bench_line idle_cpu_tray "$tray_cpu" "$bare_cpu"
bench_line window_memory "$quor_pss" "$bare_pss"
