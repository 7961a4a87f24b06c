#!/usr/bin/env bash
# Builds the Linux target and runs every benchmark; each prints our figure beside an
# anchor's measured in the same run, and their ratio.
# usage: scripts/bench.sh [--no-stream]
#   --no-stream  skips the stream benchmark, which runs the whole host, then ffmpeg, for
#                about half a minute (the other benchmarks take about two minutes)
set -euo pipefail
cd "$(dirname "$0")/.."

stream=1
case "${1:-}" in
  "") ;;
  --no-stream) stream=0 ;;
  *)
    echo "usage: $0 [--no-stream]" >&2
    exit 2
    ;;
esac

scripts/deps.sh test
scripts/build.sh linux

results=$(mktemp -d -t orvane-bench.XXXXXX)
trap 'rm -rf "$results"' EXIT

# A Google Benchmark program, run five times over and compared on the medians.
# Comparisons are "ours=anchor" or "ours=anchor+anchor", in benchmark names.
run_benchmark() { # program item comparison...
  local program=$1
  shift
  echo "== $program"
  "build/linux/bench/$program" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
    --benchmark_format=json >"$results/$program.json"
  python3 bench/compare.py "$results/$program.json" "$@"
}

run_benchmark media_send_bench datagram \
  ours_sealed=openssl_seal+sendto_sealed_size ours_sealed=sendto_sealed_size ours_bare=sendto_bare_size
run_benchmark nv12_bench frame ours=swscale_point ours=swscale_fast_bilinear ours=memcpy
run_benchmark audio_bench "s of sound" ours=libopus ours=opusenc/manual_time
bench/audio_latency_bench.sh

# Latency percentiles rather than a loop's mean: the program prints its own table.
echo "== input_latency_bench"
scripts/with_virtual_display.sh 1920x1080 build/linux/bench/input_latency_bench

if ((stream)); then
  echo "== stream_bench"
  bench/stream_bench.sh
fi
