#!/usr/bin/env bash
# Builds the Linux target and runs every benchmark. Each prints our figure beside an
# anchor's measured in the same run, and their ratio.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
scripts/build.sh linux

for bench in build/linux/bench/*_bench; do
  echo "== ${bench##*/}"
  "$bench"
done

echo "== stream_bench"
bench/stream_bench.sh
