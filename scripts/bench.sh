#!/usr/bin/env bash
# Builds the Linux target and runs every benchmark; each prints our figure beside an
# anchor's measured in the same run, and their ratio.
# usage: scripts/bench.sh [--no-stream]
#   --no-stream  skips the stream, workload and PipeWire benchmarks, which run the whole
#                host (and ffmpeg) on a virtual desktop or a private PipeWire for about half
#                a minute, three minutes and one minute (the other benchmarks take about
#                two minutes)
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
# Every goal's figure beside its target, collected from the programs and listed last.
export ORVANE_BENCH_GOALS="$results/goals.txt"
: >"$ORVANE_BENCH_GOALS"
echo "machine load (1, 5, 15 min) at start: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"

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
  "ours_sealed=openssl_seal+sendto_sealed_size<=1.1" ours_sealed=sendto_sealed_size \
  ours_bare=sendto_bare_size
# A 640x360 rectangle is 11.1 % of the frame: converting it should cost about that share.
run_benchmark nv12_bench frame ours=swscale_point ours=swscale_fast_bilinear "ours=memcpy<=1.5" \
  "ours_rect_640x360=ours<=0.17" ours_sse2=memcpy
# OpenH264's screen-content mode beside libx264 on 1080p desktop workloads, per frame in wall
# time (libx264 works in threads of its own; the table calls it CPU time).
run_benchmark screen_encoder_bench frame \
  EncodeWorkload/openh264_typing/real_time=EncodeWorkload/x264_typing/real_time \
  EncodeWorkload/openh264_scrolling/real_time=EncodeWorkload/x264_scrolling/real_time \
  EncodeWorkload/openh264_corner_video/real_time=EncodeWorkload/x264_corner_video/real_time
run_benchmark audio_bench "s of sound" ours=libopus ours=opusenc/manual_time
bench/audio_latency_bench.sh

# Latency percentiles rather than a loop's mean: the program prints its own table.
echo "== input_latency_bench"
scripts/with_virtual_display.sh 1920x1080 build/linux/bench/input_latency_bench

if ((stream)); then
  echo "== stream_bench"
  bench/stream_bench.sh
  echo "== workload_bench"
  bench/workload_bench.sh
  echo "== pipewire_bench"
  bench/pipewire_bench.sh
fi

echo
echo "== goals (machine load at the end: $(cut -d' ' -f1-3 /proc/loadavg))"
cat "$ORVANE_BENCH_GOALS"
