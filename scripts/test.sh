#!/usr/bin/env bash
# Installs what is missing, builds both targets and runs every test: the Linux suite
# natively and the Windows suite under wine.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
scripts/deps-windows.sh
scripts/build.sh all

cache=${ORVANE_DEPS_CACHE:-$HOME/.cache/orvane-deps}
export WINEPREFIX=${WINEPREFIX:-$cache/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
  echo "Preparing the wine prefix (first run only)"
  mkdir -p "$WINEPREFIX"
  wineboot --init >/dev/null 2>&1 || true
  wineserver --wait || true
fi

status=0
echo "== Linux tests"
ctest --test-dir build/linux --output-on-failure -j2 --timeout 600 || status=1
echo "== Windows tests (wine)"
ctest --test-dir build/windows --output-on-failure --timeout 900 || status=1
wineserver --kill >/dev/null 2>&1 || true
exit $status
