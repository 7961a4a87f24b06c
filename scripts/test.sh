#!/usr/bin/env bash
# Installs what is missing, builds both targets and runs every test: the Linux suite
# natively and the Windows suite under wine.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh test
scripts/deps-windows.sh
scripts/build.sh all

# The Windows tests carry their wine prefix and WINEDEBUG as ctest properties (chosen
# when build/windows was configured); the prefix is set up here once, since its first
# start takes long enough to look like a hanging test.
export WINEPREFIX WINEDEBUG=-all
WINEPREFIX=$(sed -n 's/^ORVANE_WINEPREFIX:PATH=//p' build/windows/CMakeCache.txt)
if [[ -z "$WINEPREFIX" ]]; then
  echo "test.sh: build/windows names no wine prefix (ORVANE_WINEPREFIX)" >&2
  exit 1
fi
if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
  echo "Preparing the wine prefix $WINEPREFIX (first run only)"
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
