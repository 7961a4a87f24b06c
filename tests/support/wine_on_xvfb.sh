#!/usr/bin/env bash
# Runs a Windows test program under wine on a virtual display of its own, so that what
# wine draws on X (the notification area, windows, GDI screen copies, the clipboard)
# exists in tests.
# usage: wine_on_xvfb.sh WIDTHxHEIGHT WINE PROGRAM.exe [arguments...]
set -uo pipefail
# shellcheck source=scripts/virtual_display.sh
source "$(dirname "$0")/../../scripts/virtual_display.sh"

size=$1
wine=$2
shift 2
log=$(mktemp -t orvane-xvfb.XXXXXX)
trap 'stop_virtual_display; rm -f "$log"' EXIT

# A wine server left from an earlier run keeps the display it started with: start afresh.
wineserver --wait 2>/dev/null || true
start_virtual_display "$size" "$log" || exit 1
"$wine" "$@"
status=$?
# Wine's own processes (the desktop, the tray) end with its server; the display may go
# only after them.
wineserver --wait 2>/dev/null || true
exit $status
