#!/usr/bin/env bash
# Runs a Windows test program under wine on an X display of its own, so that what wine
# draws on X (the notification area, GDI screen copies, the clipboard) exists in tests.
# Usage: wine_on_xvfb.sh <wine> <program.exe> [arguments...]
set -uo pipefail

wine=$1
shift
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT

# A wine server left from an earlier run would keep its own display; start afresh.
wineserver --wait 2>/dev/null || true

Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x800x24 3>"$folder/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 1 100); do
  [[ -s "$folder/display" ]] && break
  sleep 0.1
done
if [[ ! -s "$folder/display" ]]; then
  echo "Xvfb did not start" >&2
  kill "$xvfb" 2>/dev/null
  exit 1
fi

DISPLAY=":$(head -n1 "$folder/display")" "$wine" "$@"
status=$?
# Wine's own processes (the desktop, the tray) end with the server; the display may go
# only after them.
wineserver --wait 2>/dev/null || true
kill "$xvfb" 2>/dev/null
wait "$xvfb" 2>/dev/null
exit $status
