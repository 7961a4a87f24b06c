#!/usr/bin/env bash
# The whole host and ffmpeg (x11grab + libx264 ultrafast/zerolatency) on the same
# 1920x1080 virtual desktop, for the workloads a desktop actually shows: nothing changing,
# typing, scrolling, a video in a corner and the whole screen changing. Per workload:
# CPU per second, bytes per second and, for our host, capture-to-receipt delay at the
# reference client. Expects a finished build (scripts/bench.sh builds first).
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/linux
host_binary=$build/orvane-host
client_binary=$build/orvane-client
animator_binary=$build/bench/screen_animator
seconds=${ORVANE_WORKLOAD_BENCH_SECONDS:-12}
if ((seconds < 8)); then
  echo "workload_bench: ORVANE_WORKLOAD_BENCH_SECONDS must be at least 8" >&2
  exit 2
fi

source scripts/virtual_display.sh
source bench/stream_bench_helpers.sh
require_built "$host_binary" "$client_binary" "$animator_binary"
begin_bench_run workload-bench

# name, animator tick in ms (typing 10 characters/s, scrolling 30 lines/s, video 30 fps,
# the whole screen at 60 fps), and what the table calls it.
workloads=(
  "idle 1000 still desktop"
  "typing 100 typing, 10 characters/s"
  "scrolling 33 scrolling, 30 lines/s"
  "corner-video 33 640x360 video in a corner"
  "whole 16 whole screen changing"
)

start_virtual_display 1920x1080 "$work/xvfb.log"
export XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_STATE_HOME"

start_animator() { # mode interval_ms
  stop_process "$animator_pid"
  "$animator_binary" "$2" "$1" >"$work/animator.log" 2>&1 &
  animator_pid=$!
  # The first picture of a desktop (a page of text) is drawn before the measurement starts.
  sleep 1
}

choose_host_ports

# The host is started afresh for each workload, so none inherits another's state; the
# pairing it keeps in XDG_CONFIG_HOME carries over.
pair_client

hz=$(getconf CLK_TCK)
# One line per workload: name cpu_seconds stream_seconds bytes p50 p95, for ours and ffmpeg.
: >"$work/ours.txt"
: >"$work/ffmpeg.txt"
for workload in "${workloads[@]}"; do
  read -r name interval _ <<<"$workload"
  start_animator "$name" "$interval"

  start_host
  ticks_before=$(host_cpu_ticks)
  client stream --seconds "$seconds" --width 1920 --height 1080 --out /dev/null \
    >"$work/stream.log" 2>&1 &
  client_pid=$!
  # Besides the whole run, the CPU of the settled stream: from 3 s in (session set-up and
  # first keyframe done) to 2 s before the end (before the stop).
  sleep 3
  steady_ticks_start=$(host_cpu_ticks)
  steady_start=$(date +%s.%N)
  sleep $((seconds - 5))
  steady_ticks_end=$(host_cpu_ticks)
  steady_end=$(date +%s.%N)
  client_status=0
  wait "$client_pid" || client_status=$?
  client_pid=""
  if ((client_status != 0)); then
    echo "workload_bench: the $name stream failed (status $client_status)" >&2
    cat "$work/stream.log" >&2
    exit 1
  fi
  ticks_after=$(host_cpu_ticks)
  steady_percent=$(awk -v ticks=$((steady_ticks_end - steady_ticks_start)) -v hz="$hz" \
    -v from="$steady_start" -v to="$steady_end" 'BEGIN { printf "%.2f", ticks / hz / (to - from) * 100 }')
  stop_process "$host_pid"
  host_pid=""
  summary=$(grep -E '^Media in [0-9.]+ s: [0-9]+ frames received' "$work/stream.log" | tail -n1)
  media_seconds=$(sed -E 's/^Media in ([0-9.]+) s:.*/\1/' <<<"$summary")
  bytes=$(sed -nE 's/.* ([0-9]+) bytes,.*/\1/p' <<<"$summary")
  frames=$(sed -nE 's/^Media in [0-9.]+ s: ([0-9]+) frames received.*/\1/p' <<<"$summary")
  delay_line=$(grep -E 'Host-to-client delay' "$work/stream.log" | tail -n1 || true)
  p50=$(sed -nE 's/.*p50 ([-0-9.]+) ms.*/\1/p' <<<"$delay_line")
  p95=$(sed -nE 's/.*p95 ([-0-9.]+) ms.*/\1/p' <<<"$delay_line")
  echo "$name $((ticks_after - ticks_before)) $media_seconds ${bytes:-0} ${p50:--} ${p95:--} ${frames:-0} $steady_percent" \
    >>"$work/ours.txt"

  # ffmpeg grabs at a fixed rate whatever the screen does; its encoded stream is what it
  # would put on the wire.
  ffmpeg -hide_banner -nostdin -benchmark -f x11grab -framerate 60 -video_size 1920x1080 \
    -i "$DISPLAY" -c:v libx264 -preset ultrafast -tune zerolatency -t "$seconds" \
    -f h264 -y "$work/ffmpeg.h264" >"$work/ffmpeg.log" 2>&1
  ffmpeg_cpu=$(sed -nE 's/.*bench: utime=([0-9.]+)s stime=([0-9.]+)s.*/\1 \2/p' "$work/ffmpeg.log" |
    tail -n1 | awk '{ print $1 + $2 }')
  ffmpeg_frames=$(tr '\r' '\n' <"$work/ffmpeg.log" | sed -nE 's/^frame= *([0-9]+).*/\1/p' | tail -n1)
  echo "$name ${ffmpeg_cpu:-0} $seconds $(stat -c %s "$work/ffmpeg.h264") ${ffmpeg_frames:-0}" \
    >>"$work/ffmpeg.txt"
done
stop_process "$animator_pid"
animator_pid=""

echo "1920x1080 desktop workloads, ${seconds} s each; ours: capture + H.264 + UDP to the reference"
echo "client (bytes it received); ffmpeg: x11grab 60 fps + libx264 ultrafast/zerolatency (bytes it wrote)"
printf '  %-28s %9s %7s %6s %7s  %9s %8s %6s  %8s %7s  %7s %7s\n' workload "CPU% ours" ffmpeg ratio \
  settled "KB/s ours" ffmpeg ratio "fps ours" ffmpeg "p50 ms" "p95 ms"
# Figures the goals need, written as "name cpu_percent cpu_ratio p95 settled_cpu_percent".
paste -d' ' "$work/ours.txt" "$work/ffmpeg.txt" | awk -v hz="$hz" -v out="$work/figures.txt" \
  -v labels="$(printf '%s\n' "${workloads[@]}")" 'BEGIN {
    n = split(labels, rows, "\n")
    for (i = 1; i <= n; ++i) { split(rows[i], f, " "); label = rows[i]; sub(/^[^ ]+ [^ ]+ /, "", label); names[f[1]] = label }
  }
  {
    name = $1; cpu = $2 / hz; secs = $3; bytes = $4; p50 = $5; p95 = $6
    frames = $7; settled = $8; ff_cpu = $10; ff_secs = $11; ff_bytes = $12; ff_frames = $13
    ours_cpu_s = cpu / secs; ff_cpu_s = ff_cpu / ff_secs
    ours_kb = bytes / secs / 1000; ff_kb = ff_bytes / ff_secs / 1000
    cpu_ratio = ff_cpu_s > 0 ? sprintf("%.3f", ours_cpu_s / ff_cpu_s) : "-"
    kb_ratio = ff_kb > 0 ? sprintf("%.2f", ours_kb / ff_kb) : "-"
    printf "  %-28s %9.2f %7.2f %6s %7.2f  %9.1f %8.1f %6s  %8.1f %7.1f  %7s %7s\n", names[name], \
      ours_cpu_s * 100, ff_cpu_s * 100, cpu_ratio, settled, ours_kb, ff_kb, kb_ratio, frames / secs, \
      ff_frames / ff_secs, p50, p95
    printf "%s %.3f %s %s %s\n", name, ours_cpu_s * 100, cpu_ratio, p95, settled >out
  }'
echo "  (CPU% is CPU seconds per second of one core, user + system, over the whole run; settled:"
echo "   ours from 3 s in to 2 s before the end; fps ours: frames the client received; p50/p95:"
echo "   host capture timestamp to client receipt, same machine and clock)"

goal() { # description figure target(<=)
  awk -v what="$1" -v figure="$2" -v target="$3" 'BEGIN {
    if (figure == "" || figure == "-") { printf "  %-58s %8s  target <= %-6s %s\n", what, "n/a", target, "not measured"; exit }
    printf "  %-58s %8.2f  target <= %-6s %s\n", what, figure, target, (figure + 0 <= target + 0) ? "met" : "MISSED"
  }' | tee -a "${ORVANE_BENCH_GOALS:-/dev/null}"
}
figure() { # workload column(2 cpu percent, 3 cpu ratio, 4 p95, 5 settled cpu percent)
  awk -v name="$1" -v column="$2" '$1 == name { print $column }' "$work/figures.txt"
}
echo "Goals of the workloads:"
# Streaming a still desktop, not setting the stream up: the settled figure.
goal "still desktop, settled stream: host CPU (% of one core)" "$(figure idle 5)" 1
goal "typing: CPU per second, ours / ffmpeg" "$(figure typing 3)" 0.15
goal "typing: capture timestamp -> client receipt p95 (ms)" "$(figure typing 4)" 8
goal "scrolling: CPU per second, ours / ffmpeg" "$(figure scrolling 3)" 0.15
goal "scrolling: capture timestamp -> client receipt p95 (ms)" "$(figure scrolling 4)" 8
goal "640x360 video in a corner: CPU per second, ours / ffmpeg" "$(figure corner-video 3)" 0.3
