#!/usr/bin/env bash
# Sets up, builds and starts Quor.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-deps.sh
BUILD=${QUOR_BUILD_DIR:-build}
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$BUILD" -j"$(nproc)"
if [ ! -x "$BUILD/core/app/Quor" ]; then
  echo "Quor's libraries are built; the launcher window is not there yet."
  exit 0
fi
exec "$BUILD/core/app/Quor" "$@"
