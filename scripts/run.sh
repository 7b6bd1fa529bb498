#!/usr/bin/env bash
# Sets up, builds and starts Quor against the demo publisher on 127.0.0.1.
# On a display Quor opens its window there. Without one (no DISPLAY) Quor runs
# under Xvfb and, once its start page has loaded and the page has settled (at
# most $QUOR_SCREENSHOT_DELAY seconds, default 20), a screenshot of the screen is
# written to $QUOR_SCREENSHOT (default quor-screenshot.png) and Quor is ended.
# QUOR_RUN_SKIP_BUILD=1 starts what $QUOR_BUILD_DIR already holds.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/background.sh
BUILD=${QUOR_BUILD_DIR:-build}
if [ "${QUOR_RUN_SKIP_BUILD:-0}" != 1 ]; then
  bash scripts/setup-deps.sh
  cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build "$BUILD" -j"$(nproc)"
fi

QUOR="$BUILD/app/Quor"
if [ ! -x "$QUOR" ]; then
  echo "Quor's libraries are built; the launcher window is not there yet."
  exit 0
fi

work_folder work

# The build's default service port first, so config.xml's pages are there too;
# any free port when it is taken.
default_port=$(sed -n 's|^QUOR_DEFAULT_SERVICE_URL:STRING=http://127\.0\.0\.1:\([0-9]*\).*|\1|p' "$BUILD/CMakeCache.txt")
for port in ${default_port:-} 0; do
  "$BUILD/tools/demo-publisher/demo-publisher" --port "$port" --port-file "$work/port" >"$work/publisher.out" &
  publisher=$!
  for _ in $(seq 600); do
    [ -s "$work/port" ] && break
    kill -0 "$publisher" 2>/dev/null || break
    sleep 0.1
  done
  if [ -s "$work/port" ]; then pids+=("$publisher"); break; fi
  wait "$publisher" 2>/dev/null || true
done
if [ ! -s "$work/port" ]; then
  echo "the demo publisher did not start" >&2
  exit 1
fi
export QUOR_SERVICE_URL="http://127.0.0.1:$(cat "$work/port")"
echo "demo publisher at $QUOR_SERVICE_URL; $(grep '^LOG ' "$work/publisher.out")"

if [ -n "${DISPLAY:-}" ]; then
  "$QUOR" "$@"
  exit $?
fi

start_xvfb
# The page-call log tells when the start page has loaded (its first-load calls).
export QUOR_PAGE_CALL_LOG=${QUOR_PAGE_CALL_LOG:-$work/page-calls.log}
"$QUOR" "$@" &
quor=$!
pids+=("$quor")
deadline=$(( $(date +%s) + ${QUOR_SCREENSHOT_DELAY:-20} ))
loaded=0
while [ "$(date +%s)" -lt "$deadline" ] && kill -0 "$quor" 2>/dev/null; do
  if grep -q "^delivered .*'clearGamePanels'" "$QUOR_PAGE_CALL_LOG" 2>/dev/null; then loaded=1; break; fi
  sleep 0.1
done
# Then until a second passes without a new page call (banners and tiles drawn).
last=-1
while [ "$loaded" = 1 ] && [ "$(date +%s)" -lt "$deadline" ]; do
  now=$(wc -l <"$QUOR_PAGE_CALL_LOG")
  [ "$now" = "$last" ] && break
  last=$now
  sleep 1
done
shot=${QUOR_SCREENSHOT:-quor-screenshot.png}
import -window root "$shot"
if [ "$loaded" = 1 ]; then
  echo "no display: Quor ran under Xvfb on $DISPLAY; screenshot written to $shot"
else
  echo "no display: the start page did not load in time; screenshot written to $shot" >&2
  exit 1
fi
