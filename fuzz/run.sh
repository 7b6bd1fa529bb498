#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and the address and undefined-behaviour
# sanitizers in a build folder of their own, and runs each for SECONDS (default
# 20; CI runs the default, run longer by hand). New inputs collect in
# $BUILD/corpus/<target>/; a crashing input is left in $BUILD/artifacts/ and the
# script fails. Once the fault is fixed, copy the input into fuzz/corpus/<target>/:
# the unit tests replay everything there.
#   fuzz/run.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_EACH=${1:-20}
BUILD=${QUOR_FUZZ_BUILD_DIR:-build-fuzz}
SANITIZE="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DQUOR_BUILD_GUI=OFF -DQUOR_BUILD_TESTS=OFF -DQUOR_FUZZ=ON \
  "-DCMAKE_C_FLAGS=$SANITIZE -fsanitize=fuzzer-no-link" \
  "-DCMAKE_CXX_FLAGS=$SANITIZE -fsanitize=fuzzer-no-link" >/dev/null
TARGETS=(patch_file bsdiff catalog manifest install_manifest resume_reply bridge_message config_document reg_store download_lock booster_reply plugin_params)
cmake --build "$BUILD" -j"$(nproc)" --target "${TARGETS[@]/#/fuzz_}" >/dev/null
mkdir -p "$BUILD/artifacts"
export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1
status=0
for t in "${TARGETS[@]}"; do
  mkdir -p "$BUILD/corpus/$t"
  echo "fuzz: $t for ${SECONDS_EACH}s"
  if ! "$BUILD/fuzz/fuzz_$t" -max_total_time="$SECONDS_EACH" -timeout=20 -rss_limit_mb=2048 \
      -dict="fuzz/$t.dict" -artifact_prefix="$BUILD/artifacts/$t-" -print_final_stats=1 \
      "$BUILD/corpus/$t" "fuzz/corpus/$t" > "$BUILD/$t.log" 2>&1; then
    tail -n 60 "$BUILD/$t.log"
    echo "fuzz: $t failed; the input is in $BUILD/artifacts/" >&2
    status=1
  else
    grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' "$BUILD/$t.log" | tr '\n' ' '; echo
  fi
done
exit "$status"
