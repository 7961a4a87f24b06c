#!/usr/bin/env bash
# The audio pipeline's capture-to-send latency on a private PulseAudio server (a null
# sink, its own runtime folder) while noise plays into the sink. Expects a finished build
# (scripts/bench.sh builds first).
set -euo pipefail
cd "$(dirname "$0")/.."

program=build/linux/bench/audio_latency
seconds=${ORVANE_AUDIO_BENCH_SECONDS:-8}
if [[ ! -x "$program" ]]; then
  echo "audio_latency_bench: $program is missing; run scripts/bench.sh, which builds first" >&2
  exit 1
fi

work=$(mktemp -d -t orvane-audio-bench.XXXXXX)
server_pid="" player_pid=""
cleanup() {
  for pid in $player_pid $server_pid; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

mkdir -p "$work/runtime"
HOME=$work XDG_RUNTIME_DIR=$work/runtime PULSE_RUNTIME_PATH=$work/runtime \
  PULSE_STATE_PATH=$work/state DBUS_SESSION_BUS_ADDRESS=disabled: DISPLAY='' \
  pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
  "--load=module-null-sink sink_name=bench rate=48000 channels=2" \
  "--load=module-native-protocol-unix auth-anonymous=1 socket=$work/native" \
  >"$work/pulseaudio.log" 2>&1 &
server_pid=$!
export PULSE_SERVER=unix:$work/native
for _ in $(seq 100); do
  pactl info >/dev/null 2>&1 && break
  sleep 0.1
done

head -c $((48000 * 4 * (seconds + 4))) /dev/urandom |
  pacat --playback --device=bench --format=s16le --rate=48000 --channels=2 --latency-msec=20 &
player_pid=$!
sleep 1
echo "== audio latency (PulseAudio monitor capture to send, ${seconds} s of noise)"
"$program" "$PULSE_SERVER" "$seconds"
