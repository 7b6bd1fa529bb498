#!/usr/bin/env bash
# Downloading a 1 GiB file from nginx on 127.0.0.1 to disk: Quor's transfer
# against the curl command line, alternating, median of several runs each.
# Prints: download ratio=R quor=Q reference=F   (seconds; R below 1: Quor is ahead)
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/lib/common.sh

RUNS=${RUNS:-5}
SIZE_MB=${QUOR_BENCH_DOWNLOAD_MB:-1024}
BUILD=${BUILD:-build}

[ -f "$BUILD/CMakeCache.txt" ] || cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" --target bench_download bench_measure -j"$(nproc)" >/dev/null
QUOR="$BUILD/bench/download/bench_download"
BENCH_MEASURE="$BUILD/bench/measure/bench_measure"
NGINX=$(command -v nginx || echo /usr/sbin/nginx)

WORK=$(mktemp -d "${TMPDIR:-/tmp}/quor-bench-download-XXXXXX")
NGINX_PID=""
cleanup() {
  if [ -n "$NGINX_PID" ] && kill -0 "$NGINX_PID" 2>/dev/null; then
    kill "$NGINX_PID" 2>/dev/null || true
    wait "$NGINX_PID" 2>/dev/null || true
  fi
  rm -rf "$WORK"
}
trap cleanup EXIT

mkdir -p "$WORK/www" "$WORK/out" "$WORK/home" "$WORK/nginx"
chmod 755 "$WORK" "$WORK/www"
head -c "$((SIZE_MB * 1048576))" /dev/urandom >"$WORK/www/big.bin"
chmod 644 "$WORK/www/big.bin"

# nginx on a free port of our own choosing, with a configuration of our own.
start_nginx() {
  local port=$1
  cat >"$WORK/nginx/nginx.conf" <<CONF
daemon off;
worker_processes 1;
pid $WORK/nginx/nginx.pid;
error_log $WORK/nginx/error.log;
events { worker_connections 64; }
http {
  access_log off;
  sendfile on;
  tcp_nopush on;
  client_body_temp_path $WORK/nginx/body;
  proxy_temp_path $WORK/nginx/proxy;
  fastcgi_temp_path $WORK/nginx/fastcgi;
  uwsgi_temp_path $WORK/nginx/uwsgi;
  scgi_temp_path $WORK/nginx/scgi;
  server {
    listen 127.0.0.1:$port;
    root $WORK/www;
  }
}
CONF
  "$NGINX" -p "$WORK/nginx" -c "$WORK/nginx/nginx.conf" 2>/dev/null &
  NGINX_PID=$!
  for _ in $(seq 50); do
    if curl -sfI "http://127.0.0.1:$port/big.bin" >/dev/null 2>&1; then return 0; fi
    if ! kill -0 "$NGINX_PID" 2>/dev/null; then NGINX_PID=""; return 1; fi
    sleep 0.1
  done
  kill "$NGINX_PID" 2>/dev/null || true
  NGINX_PID=""
  return 1
}
PORT=""
for _ in $(seq 30); do
  candidate=$((20000 + RANDOM % 40000))
  if start_nginx "$candidate"; then PORT=$candidate; break; fi
done
[ -n "$PORT" ] || { echo "download: nginx did not start" >&2; exit 1; }
URL="http://127.0.0.1:$PORT/big.bin"

export HOME="$WORK/home" XDG_CONFIG_HOME="$WORK/home/.config" XDG_DATA_HOME="$WORK/home/.local/share"
export QUOR_HKCU_FILE="$WORK/home/hkcu.reg" QUOR_HKLM_FILE="$WORK/home/hklm.reg"
unset http_proxy https_proxy all_proxy HTTP_PROXY HTTPS_PROXY ALL_PROXY

quor_s=(); quor_b=(); ref_s=(); ref_b=()
for _ in $(seq "$RUNS"); do
  rm -f "$WORK/out/big.bin" && sync
  bench_run ref_s ref_b curl -s -o "$WORK/out/big.bin" "$URL"
  cmp -s "$WORK/out/big.bin" "$WORK/www/big.bin" || { echo "download: curl's copy differs" >&2; exit 1; }
  rm -f "$WORK/out/big.bin" "$WORK/out/download.lock" "$WORK/home/hkcu.reg" && sync
  bench_run quor_s quor_b "$QUOR" "$URL" "$WORK/out"
  cmp -s "$WORK/out/big.bin" "$WORK/www/big.bin" || { echo "download: Quor's copy differs" >&2; exit 1; }
done
bench_line download "$(bench_median "${quor_s[@]}")" "$(bench_median "${ref_s[@]}")"
