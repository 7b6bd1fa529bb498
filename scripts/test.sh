#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-deps.sh
# The includes first: a circle or an include up a layer fails before any build.
python3 scripts/check-includes.py
# The README's layout names every top-level folder.
python3 scripts/check-layout.py
BUILD=${QUOR_BUILD_DIR:-build}
# The tree stays in the style .clang-format describes.
bash scripts/check-format.sh
# Warnings are errors here, so that none slips in.
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUOR_WERROR=ON
cmake --build "$BUILD" -j"$(nproc)"
# Before the suite, so that the suite's summary closes the output.
# The fuzz targets (patch files, binary diffs, catalogues, manifests, the browser
# add-ons' parameters) under libFuzzer with the sanitizers, for a bounded time
# (seconds per target; about a minute in all).
bash fuzz/run.sh "${QUOR_FUZZ_SECONDS:-15}"
# Each test program once whole, all at once, before CTest runs one test per
# process: a test that depends on what another left behind fails here.
bash scripts/test-whole.sh "$BUILD"
ctest --test-dir "$BUILD" --output-on-failure -j"$(nproc)" --timeout 600
