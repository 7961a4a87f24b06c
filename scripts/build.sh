#!/usr/bin/env bash
# Builds, incrementally:
#   scripts/build.sh linux     build/linux: host, client, tests and benchmarks
#   scripts/build.sh windows   build/windows: the mingw-w64 cross build of the host, client
#                              and tests
#   scripts/build.sh all       both (the default)
#   scripts/build.sh host      only the Linux host and client in build/linux (what
#                              scripts/run.sh needs: no test or benchmark tools)
# It installs nothing: scripts/deps.sh and scripts/deps-windows.sh do (scripts/test.sh
# runs both).
set -euo pipefail
cd "$(dirname "$0")/.."

target=${1:-all}
build_type=${ORVANE_BUILD_TYPE:-RelWithDebInfo}

case "$target" in
  linux | windows | all | host) ;;
  *)
    echo "usage: $0 [linux|windows|all|host]" >&2
    exit 2
    ;;
esac

# Configures a build folder on first use, or again when the tests were left out of it
# (by a host-only build) and are wanted now.
configure() {
  local dir=$1 tests=$2
  shift 2
  if [[ -f "$dir/build.ninja" ]]; then
    [[ "$tests" == OFF ]] && return 0
    grep -qx 'ORVANE_BUILD_TESTS:BOOL=ON' "$dir/CMakeCache.txt" && return 0
  fi
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$build_type" \
    -DORVANE_BUILD_TESTS="$tests" "$@" >/dev/null
}

if [[ "$target" == host ]]; then
  configure build/linux OFF
  cmake --build build/linux --target orvane-host orvane-client -- -j"$(nproc)"
  exit 0
fi

if [[ "$target" != windows ]]; then
  configure build/linux ON
  cmake --build build/linux -- -j"$(nproc)"
fi
if [[ "$target" != linux ]]; then
  if ! command -v x86_64-w64-mingw32-g++-posix >/dev/null; then
    echo "build.sh: the mingw-w64 cross compiler is missing; run scripts/deps.sh (or scripts/test.sh)" >&2
    exit 1
  fi
  if ! scripts/deps-windows.sh --check; then
    echo "build.sh: the Windows libraries (protobuf, opus) are missing from the deps cache" \
      "(${ORVANE_DEPS_CACHE:-$HOME/.cache/orvane-deps}); run scripts/deps-windows.sh" \
      "(or scripts/test.sh, which runs it)" >&2
    exit 1
  fi
  configure build/windows ON -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-toolchain.cmake
  cmake --build build/windows -- -j"$(nproc)"
fi
