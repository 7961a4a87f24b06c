#!/usr/bin/env bash
# Long runs of the real host on a virtual display, driven by the reference client; not
# part of CI. Prints the host's RSS, descriptors and threads.
#   scripts/soak.sh [cycles] [stream-seconds]
# 1. `cycles` (default 1000) sessions: connect, trusted Hello, capability exchange,
#    StartStream, the first frame, StopStream, disconnect. First, last and largest figures.
# 2. One stream of `stream-seconds` (default 600) at 1920x1080, 60 fps, with the media
#    passing a relay that loses 5 %, reorders 5 % and duplicates 2 % of the datagrams:
#    frames counted by the client, which asks for a keyframe after each loss as a decoding
#    client must; seconds without a complete frame, the requests answered, RSS growth.
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=scripts/virtual_display.sh
source scripts/virtual_display.sh

cycles=${1:-1000}
stream_seconds=${2:-600}

scripts/deps.sh test >/dev/null
scripts/build.sh host >/dev/null
# The capturer sends a frame only when the screen changed; this keeps it changing.
cmake --build build/linux --target screen_animator >/dev/null

work=$(mktemp -d -t orvane-soak.XXXXXX)
host_pid=
relay_pid=
animator_pid=
cleanup() {
  [[ -n "$relay_pid" ]] && kill "$relay_pid" 2>/dev/null || true
  [[ -n "$animator_pid" ]] && kill "$animator_pid" 2>/dev/null || true
  if [[ -n "$host_pid" ]]; then
    kill -INT "$host_pid" 2>/dev/null || true
    wait "$host_pid" 2>/dev/null || true
  fi
  stop_virtual_display
  rm -rf "$work"
}
trap cleanup EXIT

start_virtual_display 1920x1080 "$work/xvfb.log"

free_port() {
  python3 -c 'import socket,sys; s=socket.socket(socket.AF_INET, getattr(socket, sys.argv[1])); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])' "$1"
}
control_port=$(free_port SOCK_STREAM)
media_port=$(free_port SOCK_DGRAM)
input_port=$(free_port SOCK_DGRAM)
client_media_port=$(free_port SOCK_DGRAM)

XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state \
  build/linux/orvane-host --control-port "$control_port" --media-port "$media_port" \
  --input-port "$input_port" >"$work/host.log" 2>&1 &
host_pid=$!
for _ in $(seq 100); do
  grep -q "Waiting for mobile client" "$work/host.log" && break
  sleep 0.1
done

client=build/linux/orvane-client
common=(--port "$control_port" --identity "$work/identity.json")
"$client" pair "${common[@]}" >/dev/null 2>&1 || true
"$client" pair "${common[@]}" --code "$(cat "$work/config/OrvaneDisplay/active_pairing_code.txt")" \
  >/dev/null 2>&1

# rss_kb fds threads of the host
sample() {
  local rss
  rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$host_pid/status")
  echo "$rss $(ls "/proc/$host_pid/fd" | wc -l) $(ls "/proc/$host_pid/task" | wc -l)"
}

echo "== $cycles connect/Hello/capabilities/StartStream/StopStream/disconnect cycles"
start=$SECONDS
failures=0
samples=$work/cycles.txt
: >"$samples"
for cycle in $(seq "$cycles"); do
  if ! "$client" stream "${common[@]}" --seconds 10 --video-frames 1 >"$work/cycle.log" 2>&1; then
    failures=$((failures + 1))
    cp "$work/cycle.log" "$work/failed-cycle-$cycle.log"
  fi
  sample >>"$samples"
done
awk -v failures="$failures" -v seconds=$((SECONDS - start)) '
  NR == 1 { for (i = 1; i <= 3; i++) first[i] = $i }
  { for (i = 1; i <= 3; i++) { last[i] = $i; if ($i > max[i]) max[i] = $i } }
  END {
    printf "%d cycles in %d s, %d failed\n", NR, seconds, failures
    printf "%-12s %10s %10s %10s\n", "", "first", "last", "max"
    split("RSS_kB descriptors threads", name, " ")
    for (i = 1; i <= 3; i++) printf "%-12s %10d %10d %10d\n", name[i], first[i], last[i], max[i]
  }' "$samples"

echo "== ${stream_seconds} s stream at 1920x1080 60 fps through a lossy relay"
python3 scripts/lossy_relay.py "$media_port" "$client_media_port" >"$work/relay.log" 2>&1 &
relay_pid=$!
for _ in $(seq 100); do
  grep -q "listening" "$work/relay.log" && break
  sleep 0.1
done
build/linux/bench/screen_animator 16 >/dev/null 2>&1 &
animator_pid=$!
# RSS every 5 s while the stream runs; growth counts from the sample 10 s in, once the
# encoder and the buffers of this stream size exist.
(
  while kill -0 "$host_pid" 2>/dev/null; do
    sample >>"$work/stream-samples.txt"
    sleep 5
  done
) &
sampler_pid=$!
"$client" stream "${common[@]}" --seconds "$stream_seconds" --media-port "$client_media_port" \
  --width 1920 --height 1080 --fps 60 --request-keyframes >"$work/stream.log" 2>&1 ||
  echo "the stream command failed"
kill "$sampler_pid"
kill "$animator_pid"
animator_pid=
kill "$relay_pid"
wait "$relay_pid" 2>/dev/null || true
relay_pid=
grep -v listening "$work/relay.log"
grep -E "^Media in|^Envelopes|^Keyframe requests" "$work/stream.log" || tail -5 "$work/stream.log"
# Seconds without a single complete frame (the client prints a line per second).
awk '/^\[media \+/ { periods++; if ($4 == 0) stalled++ } END {
  printf "%d one-second periods, %d without a complete frame\n", periods, stalled }' "$work/stream.log"
awk 'NR == 3 { settled = $1 } { last = $1; if ($1 > max) max = $1 } END {
  printf "host RSS while streaming: %d kB at 10 s, %d kB at the end (%+.1f %%), %d kB at most\n",
    settled, last, (last - settled) * 100.0 / settled, max }' "$work/stream-samples.txt"
