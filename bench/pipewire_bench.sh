#!/usr/bin/env bash
# The whole host capturing the same 1920x1080 content through its two Linux paths: X11
# (MIT-SHM on Xvfb, screen_animator drawing) and a Wayland session's ScreenCast portal
# (a private PipeWire whose producer sends the same picture with damage covering it).
# Per path: host CPU per frame while the whole screen changes at 60 fps, and host CPU
# while nothing changes; then PipeWire / X11. Expects a finished build (scripts/bench.sh
# builds first).
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/linux
host_binary=$build/orvane-host
client_binary=$build/orvane-client
animator_binary=$build/bench/screen_animator
source_binary=$build/bench/pipewire_screen_source
seconds=${ORVANE_PIPEWIRE_BENCH_SECONDS:-10}
if ((seconds < 8)); then
  echo "pipewire_bench: ORVANE_PIPEWIRE_BENCH_SECONDS must be at least 8" >&2
  exit 2
fi

source scripts/virtual_display.sh
source bench/stream_bench_helpers.sh
require_built "$host_binary" "$client_binary" "$animator_binary" "$source_binary"
begin_bench_run pipewire-bench
source_pid=""
trap 'stop_process "$source_pid"; end_bench_run' EXIT

start_virtual_display 1920x1080 "$work/xvfb.log"
export XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_STATE_HOME"

choose_host_ports
pair_client

mkdir -p "$work/source"
"$source_binary" "$work/source" >"$work/source.log" 2>&1 &
source_pid=$!
if ! wait_for_text "ready" 30 "$work/source.log"; then
  echo "pipewire_bench: the screen cast did not start" >&2
  cat "$work/source.log" >&2
  exit 1
fi
bus=$(sed -n 's/^bus=//p' "$work/source.log")

hz=$(getconf CLK_TCK)
# Streams from a fresh host; writes "label settled_cpu_percent fps"
# to $work/figures.txt. The settled window runs from 3 s in (session set-up and first
# keyframe done) to 2 s before the end.
measure() { # label backend
  local label=$1 backend=$2
  start_host
  client stream --seconds "$seconds" --width 1920 --height 1080 --out /dev/null \
    >"$work/stream.log" 2>&1 &
  client_pid=$!
  sleep 3
  local ticks_start ticks_end start end
  ticks_start=$(host_cpu_ticks)
  start=$(date +%s.%N)
  sleep $((seconds - 5))
  ticks_end=$(host_cpu_ticks)
  end=$(date +%s.%N)
  local status=0
  wait "$client_pid" || status=$?
  client_pid=""
  stop_process "$host_pid"
  host_pid=""
  if ((status != 0)); then
    echo "pipewire_bench: the $label stream failed (status $status)" >&2
    cat "$work/stream.log" "$work/host.log" >&2
    exit 1
  fi
  if ! grep -qF "[Capture] Active backend=$backend" "$work/host.log"; then
    echo "pipewire_bench: the $label host did not capture through $backend" >&2
    cat "$work/host.log" >&2
    exit 1
  fi
  local summary frames media_seconds
  summary=$(grep -E '^Media in [0-9.]+ s: [0-9]+ frames received' "$work/stream.log" | tail -n1)
  media_seconds=$(sed -E 's/^Media in ([0-9.]+) s:.*/\1/' <<<"$summary")
  frames=$(sed -nE 's/^Media in [0-9.]+ s: ([0-9]+) frames received.*/\1/p' <<<"$summary")
  awk -v label="$label" -v ticks=$((ticks_end - ticks_start)) -v hz="$hz" -v from="$start" \
    -v to="$end" -v frames="${frames:-0}" -v secs="${media_seconds:-1}" \
    'BEGIN { printf "%s %.3f %.2f\n", label, ticks / hz / (to - from) * 100, frames / secs }' \
    >>"$work/figures.txt"
}

: >"$work/figures.txt"
# X11: the animator draws on the display the host captures.
"$animator_binary" 16 whole >"$work/animator.log" 2>&1 &
animator_pid=$!
measure x11-changing x11shm
stop_process "$animator_pid"
"$animator_binary" 1000 idle >"$work/animator.log" 2>&1 &
animator_pid=$!
measure x11-idle x11shm
stop_process "$animator_pid"
animator_pid=""

# PipeWire: the host on a Wayland session, without an X display.
host_environment=(DBUS_SESSION_BUS_ADDRESS="$bus" WAYLAND_DISPLAY=wayland-test DISPLAY=)
host_arguments=(--capture-backend portal)
kill -USR1 "$source_pid"
measure pipewire-changing portal
kill -USR2 "$source_pid"
measure pipewire-idle portal

echo "1920x1080, ${seconds} s a stream: host CPU through X11 (MIT-SHM) and PipeWire (ScreenCast portal)"
awk '{ cpu[$1] = $2; fps[$1] = $3 }
  END {
    printf "  %-9s %22s %9s %16s  %18s\n", "path", "changing: CPU% of core", "fps", "CPU ms per frame", "idle: CPU% of core"
    for (i = 1; i <= 2; ++i) {
      path = i == 1 ? "x11" : "pipewire"
      per_frame[path] = fps[path "-changing"] > 0 ? cpu[path "-changing"] * 10 / fps[path "-changing"] : 0
      printf "  %-9s %22.2f %9.1f %16.3f  %18.2f\n", path, cpu[path "-changing"], fps[path "-changing"], \
        per_frame[path], cpu[path "-idle"]
    }
    ratio_frame = per_frame["x11"] > 0 ? sprintf("%.2f", per_frame["pipewire"] / per_frame["x11"]) : "-"
    ratio_idle = cpu["x11-idle"] > 0 ? sprintf("%.2f", cpu["pipewire-idle"] / cpu["x11-idle"]) : "-"
    printf "  PipeWire / X11: CPU per frame %s, idle CPU %s\n", ratio_frame, ratio_idle
  }' "$work/figures.txt"
echo "  (CPU%: user + system CPU seconds per second of one core, settled: from 3 s in to 2 s"
echo "   before the end; fps: frames the reference client received; CPU per frame: settled"
echo "   CPU over the received frame rate)"
