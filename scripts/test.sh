#!/usr/bin/env bash
# Installs what is missing, builds both targets and runs every test: the Linux suite
# natively, the Windows suite under wine, the packages (installed and removed again), the
# unit and session tests under ASan+UBSan and the threaded ones under TSan, and every fuzz
# target for 20 s. Prints how long each stage took.
set -euo pipefail
cd "$(dirname "$0")/.."

status=0
timings=()
# stage <name> <command...>: runs the command, notes its time; a failure fails the run
# but the later stages still run.
stage() {
  local name=$1 start=$SECONDS
  shift
  echo "== $name"
  "$@" || status=1
  timings+=("$(printf '%-28s %5d s' "$name" $((SECONDS - start)))")
  echo "== $name: $((SECONDS - start)) s"
}

# Hard prerequisites: without them nothing below means anything.
start=$SECONDS
scripts/deps.sh test
scripts/deps-windows.sh
timings+=("$(printf '%-28s %5d s' "dependencies" $((SECONDS - start)))")
start=$SECONDS
scripts/build.sh all
timings+=("$(printf '%-28s %5d s' "build (Linux, Windows)" $((SECONDS - start)))")

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

stage "Linux tests" ctest --test-dir build/linux --output-on-failure -j2 --timeout 600
stage "Windows tests (wine)" ctest --test-dir build/windows --output-on-failure --timeout 900
wineserver --kill >/dev/null 2>&1 || true
# The packages from their own build folders; the Debian one is installed on this machine
# and removed again, the Windows one runs under wine in a prefix of its own.
packages() {
  scripts/package.sh || return 1
  local status=0
  tests/packaging/deb_package_test.sh || status=1
  tests/packaging/windows_installer_test.sh || status=1
  return $status
}
stage "packages: build, install, remove" packages
stage "ASan+UBSan build and tests" scripts/sanitize.sh address
stage "TSan build and tests" scripts/sanitize.sh thread
stage "fuzz targets, 20 s each" scripts/fuzz.sh 20

echo "== time per stage"
printf '%s\n' "${timings[@]}"
exit $status
