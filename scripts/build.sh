#!/usr/bin/env bash
# Builds the Linux target (build/linux) and the Windows cross target (build/windows).
# Usage: scripts/build.sh [linux|windows|all]   (default: all). Incremental.
set -euo pipefail
cd "$(dirname "$0")/.."

target=${1:-all}
build_type=${ORVANE_BUILD_TYPE:-RelWithDebInfo}

configure_and_build() {
  local dir=$1
  shift
  if [[ ! -f "$dir/build.ninja" ]]; then
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$build_type" "$@" >/dev/null
  fi
  cmake --build "$dir" -- -j"$(nproc)"
}

case "$target" in
  linux | windows | all) ;;
  *)
    echo "usage: $0 [linux|windows|all]" >&2
    exit 2
    ;;
esac

if [[ "$target" != windows ]]; then
  configure_and_build build/linux
fi
if [[ "$target" != linux ]]; then
  scripts/deps-windows.sh
  configure_and_build build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-toolchain.cmake
fi
