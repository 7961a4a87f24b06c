#!/usr/bin/env bash
# Installs what is missing, builds the Linux host and starts it. Arguments are passed on
# to the host (for example --control-port 19430). Without a display, a virtual one is
# started so that the whole pipeline has a screen to work with.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
scripts/build.sh linux

if [[ -z "${DISPLAY:-}" ]]; then
  display=:${ORVANE_VIRTUAL_DISPLAY:-77}
  Xvfb "$display" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  trap 'kill $xvfb_pid 2>/dev/null || true' EXIT
  export DISPLAY=$display
  echo "Started a virtual display $DISPLAY (1920x1080)"
fi

build/linux/orvane-host "$@"
