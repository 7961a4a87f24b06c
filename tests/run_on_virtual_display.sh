#!/usr/bin/env bash
# Runs a command with DISPLAY set to a virtual display of its own, stopped after it;
# for tests that show windows (the Windows tests under wine).
# usage: tests/run_on_virtual_display.sh WIDTHxHEIGHT COMMAND...
set -euo pipefail
# shellcheck source=scripts/virtual_display.sh
source "$(dirname "$0")/../scripts/virtual_display.sh"

size=$1
shift
log=$(mktemp -t orvane-xvfb.XXXXXX)
trap 'stop_virtual_display; rm -f "$log"' EXIT
start_virtual_display "$size" "$log"
"$@"
