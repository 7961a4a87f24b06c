#!/usr/bin/env bash
# Installs what the host needs, builds it and starts it. Arguments are passed on to the
# host (for example --control-port 19430). Without a display, a virtual one (Xvfb) is
# started for as long as the host runs, so that the whole pipeline has a screen.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh run
scripts/build.sh host

host=build/linux/orvane-host
if [[ -n "${DISPLAY:-}" ]]; then
  exec "$host" "$@"
fi
for argument in "$@"; do
  # Only prints the options: no screen needed.
  [[ "$argument" == --help ]] && exec "$host" "$@"
done

source scripts/virtual_display.sh
xvfb_log=$(mktemp -t orvane-xvfb.XXXXXX)
trap 'stop_virtual_display; rm -f "$xvfb_log"' EXIT
start_virtual_display 1920x1080 "$xvfb_log"
echo "Started a virtual display $DISPLAY (1920x1080, Xvfb); it stops with the host"

# The host runs as a job of its own (set -m), so that Ctrl+C reaches it once, through
# this script, like a signal sent to the script alone; the script then waits for the
# host to finish before it stops the display. A closed terminal stops the host too
# rather than relaunching it in the background: its display goes with this script.
set -m
"$host" "$@" &
host_pid=$!
trap 'kill -INT $host_pid 2>/dev/null || true' INT
trap 'kill -TERM $host_pid 2>/dev/null || true' TERM HUP
while :; do
  status=0
  wait "$host_pid" || status=$?
  kill -0 "$host_pid" 2>/dev/null || break
done
exit "$status"
