#!/usr/bin/env bash
# Installs the Debian packages a profile needs:
#   scripts/deps.sh run    building and running the Linux host (scripts/run.sh)
#   scripts/deps.sh test   the above, plus the Windows cross build, wine, the test and
#                          benchmark tools and the packaging tools (scripts/test.sh,
#                          scripts/bench.sh, scripts/package.sh); the default
# Fast when everything is present: it only asks dpkg.
set -euo pipefail

profile=${1:-test}

run_packages=(
  build-essential cmake ninja-build pkg-config ccache
  protobuf-compiler libprotobuf-dev
  libssl-dev libopus-dev libavutil-dev libavcodec-dev libopenh264-dev libpulse-dev libavahi-client-dev
  libpng-dev libglib2.0-dev libpipewire-0.3-dev # GDBus for the tray and the ScreenCast portal, PipeWire streams
  libxcb1-dev libxcb-randr0-dev libxcb-shm0-dev libxcb-xfixes0-dev libxcb-damage0-dev libxcb-xtest0-dev
  x11proto-dev # keysym names of the XTest keyboard
  libsdl2-dev libsdl2-ttf-dev fonts-dejavu-core # orvane-viewer: window, sound, overlay text
  xvfb
)
test_packages=(
  git clang-format
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libswscale-dev python3 # benchmark anchor and report
  x11-utils ffmpeg
  xclip xsel # programs that copy and paste on the test display
  pulseaudio pulseaudio-utils opus-tools # a private sound server, its player, the Opus anchor
  xdg-utils adb
  pipewire wireplumber # a private PipeWire daemon and session manager for the screen-cast tests
  mutter libwayland-dev wayland-protocols # a headless GNOME compositor, and a window of the tests' own on it
  # The discovery tests start their own avahi-daemon, only inside a network namespace they
  # make (unshare -n with a veth pair), so that no multicast leaves through this machine.
  dbus-daemon avahi-daemon avahi-utils iproute2 util-linux
  clang libclang-rt-dev # libFuzzer and the sanitizer runtimes of the fuzz targets
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64 dpkg-dev
  # scripts/package.sh and the package tests: CPack's ELF check, lintian, the Windows
  # installer and zip, the validators of what the Debian package installs
  file lintian nsis zip unzip desktop-file-utils appstream man-db
)

case "$profile" in
  run) packages=("${run_packages[@]}") ;;
  test) packages=("${run_packages[@]}" "${test_packages[@]}") ;;
  *)
    echo "usage: $0 [run|test]" >&2
    exit 2
    ;;
esac

# One dpkg query for the whole list; packages it does not know print nothing (and make
# it exit non-zero, which is no failure here).
installed=" $({ dpkg-query -W -f='${Status} ${Package}\n' "${packages[@]}" 2>/dev/null || true; } |
  awk '$1 == "install" && $3 == "installed" { printf "%s ", $4 }')"
missing=()
for package in "${packages[@]}"; do
  [[ "$installed" == *" $package "* ]] || missing+=("$package")
done

if ((${#missing[@]} > 0)); then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
