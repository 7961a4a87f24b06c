#!/usr/bin/env bash
# Runs a command with DISPLAY set to a virtual display of its own, stopped after it: for
# the Windows tests that show windows under wine, and the input benchmark.
# usage: scripts/with_virtual_display.sh WIDTHxHEIGHT COMMAND...
set -euo pipefail
# shellcheck source=scripts/virtual_display.sh
source "$(dirname "$0")/virtual_display.sh"

size=$1
shift
log=$(mktemp -t orvane-xvfb.XXXXXX)
trap 'stop_virtual_display; rm -f "$log"' EXIT
start_virtual_display "$size" "$log"
"$@"
