#!/usr/bin/env bash
# Patching against the reference tools on the same data, in one run, median of
# several runs each. Prints, in this order:
#   crc32           Quor's checksum of a 1 GiB file in the page cache / zlib's crc32 in 4096-byte blocks
#   bspatch_time    a binary-diff entry on a 200 MiB file / bspatch old new patch && sync new
#   bspatch_memory  the same, peak bytes (ru_maxrss)
#   lzma_decode     a write entry of 128 MiB / xz --format=lzma -dc in >out && sync out
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/lib/common.sh
BUILD=${BUILD:-build}
TOOL="$BUILD/bench/patching/bench_patching"
BENCH_MEASURE="$BUILD/bench/measure/bench_measure"
if [ ! -x "$TOOL" ] || [ ! -x "$BENCH_MEASURE" ]; then
  cmake --build "$BUILD" --target bench_patching bench_measure -j"$(nproc)" >/dev/null
fi
RUNS=${RUNS:-5}
FIX="$BUILD/bench-fixtures/patching-1"
mkdir -p "$FIX"
WORK=$(mktemp -d "$BUILD/bench-work.XXXXXX")
trap 'rm -rf "$WORK"' EXIT

# Fixtures, kept between runs. bsdiff would take far too long (and gigabytes) on
# 200 MiB, so that patch is written directly and checked against bspatch.
if [ ! -f "$FIX/ready" ]; then
  "$TOOL" make-data "$FIX/crc.bin" 1024 1
  "$TOOL" make-data "$FIX/old.bin" 200 2
  "$TOOL" synth-bsdiff "$FIX/old.bin" "$FIX/new.bin" "$FIX/diff.bsdiff" 3
  "$TOOL" wrap-diff "$FIX/old.bin" "$FIX/new.bin" "$FIX/diff.bsdiff" "$FIX/diff.quorpatch"
  bspatch "$FIX/old.bin" "$WORK/check.bin" "$FIX/diff.bsdiff"
  cmp -s "$WORK/check.bin" "$FIX/new.bin" || { echo "bspatch disagrees with the synthesized patch" >&2; exit 1; }
  "$TOOL" make-data "$FIX/data.bin" 128 4
  xz --format=lzma -3 -k -c "$FIX/data.bin" > "$FIX/data.lzma"
  "$TOOL" wrap-write "$FIX/data.bin" "$FIX/data.lzma" "$FIX/write.quorpatch"
  touch "$FIX/ready"
fi

# crc32: the file comes from the page cache for both.
cat "$FIX/crc.bin" > /dev/null
quor_s=(); quor_b=(); ref_s=(); ref_b=()
for _ in $(seq "$RUNS"); do
  bench_run quor_s quor_b "$TOOL" crc32 "$FIX/crc.bin" > "$WORK/quor.crc"
  bench_run ref_s ref_b "$TOOL" zlib-crc32 "$FIX/crc.bin" > "$WORK/ref.crc"
  cmp -s "$WORK/quor.crc" "$WORK/ref.crc" || { echo "crc32 results differ" >&2; exit 1; }
done
bench_line crc32 "$(bench_median "${quor_s[@]}")" "$(bench_median "${ref_s[@]}")"

# bspatch: a fresh copy of the old file for each Quor run (the patcher replaces
# it); nothing left to write back before either starts.
install="$WORK/install"
quor_s=(); quor_b=(); ref_s=(); ref_b=()
for _ in $(seq "$RUNS"); do
  rm -rf "$install"; mkdir -p "$install"; cp "$FIX/old.bin" "$install/target.bin"; sync
  bench_run quor_s quor_b "$TOOL" apply "$install" "$FIX/diff.quorpatch"
  cmp -s "$install/target.bin" "$FIX/new.bin" || { echo "Quor's patched file differs" >&2; exit 1; }
  rm -f "$WORK/bspatch.out"; sync
  bench_run ref_s ref_b bash -c 'bspatch "$1" "$2" "$3" && sync "$2"' _ "$FIX/old.bin" "$WORK/bspatch.out" "$FIX/diff.bsdiff"
done
rm -rf "$install" "$WORK/bspatch.out"
bench_line bspatch_time "$(bench_median "${quor_s[@]}")" "$(bench_median "${ref_s[@]}")"
bench_line bspatch_memory "$(bench_median "${quor_b[@]}")" "$(bench_median "${ref_b[@]}")"

# lzma_decode: a write entry of a new file against xz decoding the same stream.
quor_s=(); quor_b=(); ref_s=(); ref_b=()
for _ in $(seq "$RUNS"); do
  rm -rf "$install"; mkdir -p "$install"; sync
  bench_run quor_s quor_b "$TOOL" apply "$install" "$FIX/write.quorpatch"
  cmp -s "$install/target.bin" "$FIX/data.bin" || { echo "Quor's written file differs" >&2; exit 1; }
  rm -f "$WORK/xz.out"; sync
  bench_run ref_s ref_b bash -c 'xz --format=lzma -dc "$1" > "$2" && sync "$2"' _ "$FIX/data.lzma" "$WORK/xz.out"
done
bench_line lzma_decode "$(bench_median "${quor_s[@]}")" "$(bench_median "${ref_s[@]}")"
