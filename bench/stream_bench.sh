#!/usr/bin/env bash
# The whole host on a real (virtual) 1920x1080 desktop: capture, software H.264 and UDP
# send, received by the reference client, against ffmpeg grabbing and encoding the same
# display with the same encoder settings. Both see the same moving content from
# screen_animator, because a damage-driven capturer has nothing to send from a still
# screen. Expects a finished build (scripts/bench.sh builds first).
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/linux
pipeline_binary=$build/bench/pipeline_latency_bench
host_binary=$build/orvane-host
client_binary=$build/orvane-client
viewer_binary=$build/orvane-viewer
animator_binary=$build/bench/screen_animator
seconds=${ORVANE_STREAM_BENCH_SECONDS:-10}

source scripts/virtual_display.sh
source bench/stream_bench_helpers.sh
require_built "$host_binary" "$client_binary" "$viewer_binary" "$animator_binary" "$pipeline_binary"
begin_bench_run stream-bench

# --- the display and its moving content -------------------------------------------
start_virtual_display 1920x1080 "$work/xvfb.log"
export XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_STATE_HOME"

"$animator_binary" 10 >"$work/animator.log" 2>&1 &
animator_pid=$!

# --- our host, paired with the reference client -------------------------------------
choose_host_ports

"$host_binary" --control-port "$control_port" --media-port "$media_port" \
  --input-port "$input_port" >"$work/host.log" 2>&1 &
host_pid=$!
if ! wait_for_text "Ready. Waiting for mobile client" 15 "$work/host.log"; then
  echo "stream_bench: the host did not become ready" >&2
  cat "$work/host.log" >&2
  exit 1
fi

client pair >"$work/pair1.log" 2>&1 || true
code=$(head -n1 "$XDG_CONFIG_HOME/OrvaneDisplay/active_pairing_code.txt" | cut -c1-6)
sleep 2.1 # the host checks pairing proofs at most once per 2 s
if ! client pair --code "$code" >"$work/pair2.log" 2>&1; then
  echo "stream_bench: pairing failed" >&2
  cat "$work/pair2.log" >&2
  exit 1
fi

# CPU time the host spends (user + system, in clock ticks), read around the stream.
host_cpu_ticks() {
  awk '{ sub(/^.*\) /, ""); print $12 + $13 }' "/proc/$host_pid/stat"
}
host_ticks_before=$(host_cpu_ticks)

client stream --seconds "$seconds" --width 1920 --height 1080 --out /dev/null \
  >"$work/stream.log" 2>&1 &
client_pid=$!
rss_max_kb=0
rss_samples=0
while kill -0 "$client_pid" 2>/dev/null; do
  rss_kb=$(awk '/^VmRSS:/ { print $2 }' "/proc/$host_pid/status" 2>/dev/null || true)
  if [[ -n "$rss_kb" ]]; then
    rss_samples=$((rss_samples + 1))
    ((rss_kb > rss_max_kb)) && rss_max_kb=$rss_kb
  fi
  sleep 0.5
done
client_status=0
wait "$client_pid" || client_status=$?
client_pid=""
if ((client_status != 0)); then
  echo "stream_bench: the stream failed (status $client_status)" >&2
  cat "$work/stream.log" >&2
  exit 1
fi
if ! wait_for_text "[FrameDiag] Final pipeline" 10 "$work/host.log"; then
  echo "stream_bench: the host did not report its final pipeline counters" >&2
  exit 1
fi
host_ticks_after=$(host_cpu_ticks)

# --- what decoding and presenting add: the viewer on a display of its own -----------
# Same host, content and clock; the viewer decodes each frame and presents it (SDL's
# software renderer on Xvfb), and times capture to the return of the present.
host_display=$DISPLAY host_display_pid=$VIRTUAL_DISPLAY_PID
start_virtual_display 1920x1080 "$work/viewer-xvfb.log"
viewer_display=$DISPLAY viewer_display_pid=$VIRTUAL_DISPLAY_PID
export DISPLAY=$host_display
VIRTUAL_DISPLAY_PID=$host_display_pid
DISPLAY=$viewer_display SDL_AUDIODRIVER=dummy timeout $((seconds + 30)) "$viewer_binary" 127.0.0.1 \
  --control-port "$control_port" --identity "$identity" --size 1920x1080 --seconds "$seconds" \
  >"$work/viewer.log" 2>&1 || echo "stream_bench: the viewer failed (see below)" >&2
stop_process "$viewer_display_pid"
present_line=$(grep -E '^Capture to present:' "$work/viewer.log" | tail -n1 || true)
present_p50=$(sed -nE 's/.*p50 ([-0-9.]+) ms.*/\1/p' <<<"$present_line")
present_p95=$(sed -nE 's/.*p95 ([-0-9.]+) ms.*/\1/p' <<<"$present_line")
present_frames=$(grep -E '^Frames:' "$work/viewer.log" | tail -n1 || true)
[[ -n "$present_line" ]] || tail -n 20 "$work/viewer.log" >&2
# The host leaves the machine to ffmpeg for its half of the comparison.
stop_process "$host_pid"
host_pid=""

summary=$(grep -E '^Media in [0-9.]+ s: [0-9]+ frames received' "$work/stream.log" | tail -n1)
media_seconds=$(sed -E 's/^Media in ([0-9.]+) s:.*/\1/' <<<"$summary")
frames_received=$(sed -E 's/^Media in [0-9.]+ s: ([0-9]+) frames received.*/\1/' <<<"$summary")
delay_line=$(grep -E 'Host-to-client delay' "$work/stream.log" | tail -n1 || true)
delay_p50=$(sed -nE 's/.*p50 ([-0-9.]+) ms.*/\1/p' <<<"$delay_line")
delay_p95=$(sed -nE 's/.*p95 ([-0-9.]+) ms.*/\1/p' <<<"$delay_line")
final=$(grep -F "[FrameDiag] Final pipeline" "$work/host.log" | tail -n1)
host_frames=$(sed -nE 's/.*total_frames=([0-9]+).*/\1/p' <<<"$final")
host_units=$(sed -nE 's/.*[^_]access_units=([0-9]+).*/\1/p' <<<"$final")
# Whole seconds of the stream, first one (start-up and warm-up) included.
per_second=$(sed -nE 's/^\[media \+[0-9.]+ s\] ([0-9]+) frames.*/\1/p' "$work/stream.log" | tr '\n' ' ')

# --- ffmpeg on the same display and content ---------------------------------------
ffmpeg -hide_banner -nostdin -benchmark -f x11grab -framerate 60 -video_size 1920x1080 -i "$DISPLAY" \
  -c:v libx264 -preset ultrafast -tune zerolatency -t "$seconds" -f null - \
  >"$work/ffmpeg.log" 2>&1
# The last progress report holds the totals; progress lines are separated by carriage returns.
ffmpeg_progress=$(tr '\r' '\n' <"$work/ffmpeg.log" | grep -E '^frame=' | tail -n1)
ffmpeg_frames=$(sed -nE 's/^frame= *([0-9]+).*/\1/p' <<<"$ffmpeg_progress")
ffmpeg_time=$(sed -nE 's/.*time=([0-9:.]+).*/\1/p' <<<"$ffmpeg_progress" |
  awk -F: '{ print $1 * 3600 + $2 * 60 + $3 }')

# -benchmark reports the CPU time ffmpeg used: "bench: utime=1.234s stime=0.123s rtime=...".
ffmpeg_cpu=$(sed -nE 's/.*bench: utime=([0-9.]+)s stime=([0-9.]+)s.*/\1 \2/p' "$work/ffmpeg.log" |
  tail -n1 | awk '{ print $1 + $2 }')
host_cpu=$(awk -v before="$host_ticks_before" -v after="$host_ticks_after" -v hz="$(getconf CLK_TCK)" \
  'BEGIN { print (after - before) / hz }')

awk -v frames="$frames_received" -v secs="$media_seconds" -v host_frames="$host_frames" \
  -v host_units="$host_units" -v ff_frames="$ffmpeg_frames" -v ff_time="$ffmpeg_time" \
  -v ff_secs="$seconds" -v per_second="$per_second" -v p50="$delay_p50" -v p95="$delay_p95" \
  -v host_cpu="$host_cpu" -v ff_cpu="$ffmpeg_cpu" -v rss="$rss_max_kb" -v samples="$rss_samples" \
  -v pp50="$present_p50" -v pp95="$present_p95" -v pframes="$present_frames" 'BEGIN {
  # Warm-up keyframes travel twice, so the client receives more units than the host
  # captured; the frame count of the host is the rate it sustained.
  ours = host_frames / secs
  # ffmpeg stops after the requested output duration; frames over that duration is the
  # rate it kept up (its own progress fps also counts start-up).
  theirs = ff_frames / ff_secs
  printf "1920x1080 desktop, software H.264 (ultrafast, zerolatency), 60 fps offered, content changing every 10 ms\n"
  printf "  our host:  %d frames captured and encoded in %.1f s of stream = %.1f fps\n", host_frames, secs, ours
  printf "             (%d access units sent, %d received by the client; received per second: %s)\n", host_units, frames, per_second
  printf "  ffmpeg:    %d frames grabbed and encoded in %d s = %.1f fps  (output time %.2f s)\n", ff_frames, ff_secs, theirs, ff_time
  if (theirs > 0) printf "  fps ratio ours/ffmpeg: %.2f\n", ours / theirs
  # Both are capped near 60 fps, so the CPU each spends per frame tells them apart further.
  if (host_frames > 0 && ff_frames > 0 && ff_cpu != "") {
    ours_cpu = host_cpu * 1000 / host_frames
    theirs_cpu = ff_cpu * 1000 / ff_frames
    printf "  CPU per frame: ours %.2f ms, ffmpeg %.2f ms, ratio ours/ffmpeg %.2f\n", ours_cpu, theirs_cpu, ours_cpu / theirs_cpu
  }
  if (p50 != "") printf "  host timestamp (capture) to client receipt, same machine and clock: p50 %s ms, p95 %s ms\n", p50, p95
  else printf "  host timestamp (capture) to client receipt: not reported by the client\n"
  if (pp50 != "") {
    printf "  host timestamp (capture) to viewer present (decoded, drawn, presented): p50 %s ms, p95 %s ms\n", pp50, pp95
    if (p50 != "") printf "    decoding and presenting add: p50 %.2f ms, p95 %.2f ms  (%s)\n", pp50 - p50, pp95 - p95, pframes
  } else printf "  host timestamp (capture) to viewer present: not reported by the viewer\n"
  printf "  host resident memory while streaming: max %.1f MiB over %d samples of VmRSS\n", rss / 1024, samples
  printf "  BGRA->NV12 per 1080p frame: see nv12_bench above\n"
}'

# The goals, beside the figures of this run; scripts/bench.sh prints them all at the end.
goal() { # description figure target(<=)
  awk -v what="$1" -v figure="$2" -v target="$3" 'BEGIN {
    if (figure == "") { printf "  %-58s %8s  target <= %-6s %s\n", what, "n/a", target, "not measured"; exit }
    printf "  %-58s %8.2f  target <= %-6s %s\n", what, figure, target, (figure + 0 <= target + 0) ? "met" : "MISSED"
  }' | tee -a "${ORVANE_BENCH_GOALS:-/dev/null}"
}
cpu_ratio=$(awk -v host_cpu="$host_cpu" -v ff_cpu="$ffmpeg_cpu" -v hf="$host_frames" -v ff="$ffmpeg_frames" \
  'BEGIN { if (hf > 0 && ff > 0 && ff_cpu > 0) printf "%.3f", (host_cpu / hf) / (ff_cpu / ff) }')
echo "Goals of the stream:"
goal "capture timestamp -> client receipt p95 (ms)" "$delay_p95" 8
goal "capture timestamp -> client receipt p50 (ms)" "$delay_p50" 5
goal "CPU per frame, ours / ffmpeg x11grab + libx264" "$cpu_ratio" 0.3
goal "host resident memory while streaming (MiB)" "$(awk -v kb="$rss_max_kb" 'BEGIN { printf "%.1f", kb / 1024 }')" 80

# --- where the time of a frame goes, on the same display ----------------------------
echo
"$pipeline_binary" "$seconds" "the whole screen changing every 10 ms" 2>/dev/null
stop_process "$animator_pid"
"$animator_binary" 10 window >"$work/animator.log" 2>&1 &
animator_pid=$!
sleep 0.5
echo
"$pipeline_binary" "$seconds" "one 640x360 window moving and changing every 10 ms" 2>/dev/null
