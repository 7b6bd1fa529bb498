#!/usr/bin/env bash
# Fails when a C++ file of the tree differs from what clang-format makes of it
# (.clang-format); `clang-format -i FILE` puts it right.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror 2>/tmp/quor-format.$$; then
  head -n 40 /tmp/quor-format.$$ >&2
  rm -f /tmp/quor-format.$$
  echo "check-format: files above are not formatted (clang-format -i)" >&2
  exit 1
fi
rm -f /tmp/quor-format.$$
echo "check-format: tree formatted"
