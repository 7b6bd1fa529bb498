#!/usr/bin/env bash
# Quor's memory while one catalogue is rebuilt again and again: a manifest of
# GAMES games (each size in turn; default 5000) whose refresh time is REFRESH
# seconds (10), served on 127.0.0.1. For Quor's own process and for its web
# process, the most memory each held alone (Private_Clean + Private_Dirty of
# smaps_rollup, which unlike the proportional set size does not move with what
# other processes map; sampled every half second) from the first rebuild of the
# panels to the next refresh, and likewise after REBUILDS (20) rebuilds. Needs
# the GUI build. Prints, for each size:
#   rebuild_memory_N      Quor after the last rebuild, against Quor after the first
#   rebuild_web_memory_N  the web process likewise
# (near 1: the rebuilds leave nothing behind), and on standard error each
# process's memory after the first rebuild above that of an empty catalogue,
# per game.
#   GAMES="5000 50000" bash bench/rebuild_memory.sh
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/lib/common.sh
source scripts/lib/background.sh
BUILD=${BUILD:-build}
QUOR="$BUILD/app/Quor"
if [ ! -x "$QUOR" ]; then
  cmake --build "$BUILD" --target Quor -j"$(nproc)" >/dev/null
fi
GAMES=${GAMES:-5000}
REFRESH=${REFRESH:-10}
REBUILDS=${REBUILDS:-20}
work_folder WORK
start_xvfb
unset QUOR_PAGE_CALL_LOG QUOR_ACTIVITY_LOG

# The publisher's manifest endpoint: the current manifest for every fetch (each
# noted in fetches.log), a banner, and an empty answer to everything else.
cat >"$WORK/serve.py" <<'EOF'
import http.server, sys, time
folder = sys.argv[1]
class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        body, kind = b"", "text/plain"
        if self.path.startswith("/quor/manifest.php"):
            with open(folder + "/manifest.xml", "rb") as f:
                body, kind = f.read(), "text/xml"
            with open(folder + "/fetches.log", "a") as log:
                log.write("%f\n" % time.time())
        elif self.path == "/banner.png":
            with open(folder + "/banner.png", "rb") as f:
                body, kind = f.read(), "image/png"
        self.send_response(200)
        self.send_header("Content-Type", kind)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
    def log_message(self, *args):
        pass
server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
with open(folder + "/port", "w") as f:
    f.write(str(server.server_address[1]))
server.serve_forever()
EOF
cp resources/IDI_ICON1.png "$WORK/banner.png"
python3 "$WORK/serve.py" "$WORK" &
pids+=($!)
for _ in $(seq 100); do [ -s "$WORK/port" ] && break; sleep 0.1; done
BASE="http://127.0.0.1:$(cat "$WORK/port")"
export QUOR_SERVICE_URL="$BASE"

# manifest N: N games, each with its own download, and the refresh time.
manifest() {
  awk -v n="$1" -v base="$BASE" -v refresh="$REFRESH" 'BEGIN {
    printf "<manifest><autoupdate version=\"31680\" httpurl=\"%s/update.exe\" manifestrefreshtime=\"%d\"", base, refresh
    printf " manifestversion=\"bench\" gameurl=\"%s/game\" allgamesurl=\"%s/games\"/>\n", base, base
    for (i = 1; i <= n; i++)
      printf "<download name=\"Game %d\" id=\"%d\" homepage=\"%s/g/%d\" banner=\"%s/banner.png\" url=\"%s/dl/g%d.exe\"/>\n", i, i, base, i, base, base, i
    print "</manifest>"
  }'
}
private_kb() {
  awk '/^Private_(Clean|Dirty):/ { s += $2 } END { print s + 0 }' "/proc/$1/smaps_rollup" 2>/dev/null || echo 0
}
web_process() {
  local p
  for p in $(pgrep -P "$1"); do
    [ "$(cat "/proc/$p/comm" 2>/dev/null)" = "WebKitWebProces" ] && { echo "$p"; return; }
  done
  echo 0
}
fetches() {
  if [ -f "$WORK/fetches.log" ]; then wc -l <"$WORK/fetches.log"; else echo 0; fi
}
# until_fetches N: waits until N manifest fetches have been answered (the first
# refresh comes 15 s after the start, then one a refresh time after each rebuild).
until_fetches() {
  local deadline=$(( $(date +%s) + 120 + $1 * REFRESH * 2 ))
  until [ "$(fetches)" -ge "$1" ]; do
    [ "$(date +%s)" -lt "$deadline" ] || return 1
    sleep 0.2
  done
}

# start_quor: Quor in a fresh home on the current manifest; sets quor.
start_quor() {
  rm -f "$WORK/fetches.log"
  rm -rf "$WORK/h"
  mkdir -p "$WORK/h"/{home,config,data,cache,state,runtime}
  chmod 700 "$WORK/h/runtime"
  HOME="$WORK/h/home" XDG_CONFIG_HOME="$WORK/h/config" XDG_DATA_HOME="$WORK/h/data" XDG_CACHE_HOME="$WORK/h/cache" \
    XDG_STATE_HOME="$WORK/h/state" XDG_RUNTIME_DIR="$WORK/h/runtime" QUOR_HKCU_FILE="$WORK/h/hkcu.reg" \
    "$QUOR" >"$WORK/quor.out" 2>&1 &
  quor=$!
  pids+=("$quor")
}
stop_quor() {
  kill "$quor" 2>/dev/null || true
  wait "$quor" 2>/dev/null || true
}
# Fetch 1 is the start's, fetch 2 the first refresh's (rebuild 1 follows it);
# fetch k + 2 comes a refresh time after rebuild k.
# peak_after K: the most each process held from fetch K + 1 to fetch K + 2,
# that is from rebuild K to the next refresh; sets peak_quor and peak_web.
peak_after() {
  until_fetches $(($1 + 1)) || { echo "rebuild_memory: fewer than $1 rebuilds with $n games" >&2; exit 1; }
  peak_quor=0 peak_web=0
  local deadline=$(( $(date +%s) + 120 + REFRESH * 2 )) q w
  while [ "$(fetches)" -lt $(($1 + 2)) ]; do
    [ "$(date +%s)" -lt "$deadline" ] || { echo "rebuild_memory: no refresh after rebuild $1" >&2; exit 1; }
    q=$(private_kb "$quor") w=$(private_kb "$(web_process "$quor")")
    [ "$q" -gt "$peak_quor" ] && peak_quor=$q
    [ "$w" -gt "$peak_web" ] && peak_web=$w
    sleep 0.5
  done
}

n=0
manifest 0 >"$WORK/manifest.xml"
start_quor
peak_after 1
quor_empty=$peak_quor web_empty=$peak_web
stop_quor

for n in $GAMES; do
  manifest "$n" >"$WORK/manifest.xml"
  start_quor
  peak_after 1
  quor_first=$peak_quor web_first=$peak_web
  peak_after "$REBUILDS"
  quor_last=$peak_quor web_last=$peak_web
  stop_quor
  bench_line "rebuild_memory_$n" "$quor_last" "$quor_first"
  bench_line "rebuild_web_memory_$n" "$web_last" "$web_first"
  awk -v n="$n" -v q="$quor_first" -v w="$web_first" -v ql="$quor_last" -v wl="$web_last" \
    -v q0="$quor_empty" -v w0="$web_empty" 'BEGIN {
    printf "rebuild_memory: %d games: Quor %.1f MB after the first rebuild, %.1f MB after the last;", n, q / 1024, ql / 1024
    printf " web process %.1f MB, %.1f MB; empty catalogue: Quor %.1f MB, web process %.1f MB;", w / 1024, wl / 1024, q0 / 1024, w0 / 1024
    printf " per game: Quor %.1f kB, web process %.1f kB\n", (q - q0) / n, (w - w0) / n
  }' >&2
done
