#!/usr/bin/env bash
# Installs every Debian package the Linux build, the tests and the benchmarks need.
# Fast when everything is present: it only asks dpkg.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git clang-format
  protobuf-compiler libprotobuf-dev
  libssl-dev libopus-dev libswscale-dev libavutil-dev libavcodec-dev
  libxcb1-dev libxcb-randr0-dev libxcb-shm0-dev libxcb-xfixes0-dev libxcb-damage0-dev libxcb-xtest0-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  xvfb x11-utils ffmpeg
  libglib2.0-dev xdg-utils dbus-daemon adb
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64 dpkg-dev
)

missing=()
for package in "${packages[@]}"; do
  [[ "$package" == \#* ]] && continue
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if ((${#missing[@]} > 0)); then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
