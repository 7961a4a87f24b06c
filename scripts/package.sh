#!/usr/bin/env bash
# Builds the release packages into build/packages/, from build folders of their own
# (build/package-linux, build/package-windows; no tests, installed under /usr):
#   orvane-display_<version>-1_amd64.deb   CPack, dependencies from dpkg-shlibdeps,
#                                          checked by lintian (no errors)
#   OrvaneDisplay-<version>-setup.exe      the Windows installer (makensis)
#   OrvaneDisplay-<version>-win64.zip      the Windows host, README and licence texts
# It installs nothing: scripts/deps.sh and scripts/deps-windows.sh do.
set -euo pipefail
cd "$(dirname "$0")/.."

out=build/packages
linux_build=build/package-linux
windows_build=build/package-windows
# The compile flags of scripts/build.sh, so that a machine that has built the tests takes
# the objects from ccache; the packaged binaries are stripped.
build_type=${ORVANE_BUILD_TYPE:-RelWithDebInfo}

for tool in cpack dpkg-shlibdeps lintian makensis zip x86_64-w64-mingw32-g++-posix; do
  if ! command -v "$tool" >/dev/null; then
    echo "package.sh: $tool is missing; run scripts/deps.sh" >&2
    exit 1
  fi
done
if ! scripts/deps-windows.sh --check; then
  echo "package.sh: the Windows libraries are missing; run scripts/deps-windows.sh" >&2
  exit 1
fi

# Dates inside the packages (changelog, metainfo, zip entries) are the last commit's.
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || date +%s)}
export SOURCE_DATE_EPOCH

rm -rf "$out"
mkdir -p "$out"

echo "== Debian package"
cmake -S . -B "$linux_build" -G Ninja -DCMAKE_BUILD_TYPE="$build_type" \
  -DORVANE_BUILD_TESTS=OFF -DCMAKE_INSTALL_PREFIX=/usr -DORVANE_DEBIAN_PACKAGE=ON >/dev/null
cmake --build "$linux_build" -- -j"$(nproc)"
(cd "$linux_build" && cpack -G DEB -B "$PWD/cpack" >/dev/null)
mv "$linux_build"/cpack/*.deb "$out"/
deb=$(echo "$out"/*.deb)
# Warnings are shown; an error fails the build.
lintian --fail-on error "$deb" ||
  { echo "package.sh: lintian found errors in $deb" >&2; exit 1; }

version=$("$linux_build/orvane-host" --version | awk '{ print $2 }')
# The firewall rules open the host's default ports, as the host itself names them.
default_port() {
  "$linux_build/orvane-host" --help | sed -n "s/^ *--$1 N .*(default \([0-9]*\)).*/\1/p"
}
control_port=$(default_port control-port)
media_port=$(default_port media-port)
input_port=$(default_port input-port)
if [[ -z "$version" || -z "$control_port" || -z "$media_port" || -z "$input_port" ]]; then
  echo "package.sh: orvane-host did not tell its version and default ports" >&2
  exit 1
fi

echo "== Windows installer and zip"
# The toolchain is chosen once, when the folder is first configured.
toolchain=()
[[ -f "$windows_build/CMakeCache.txt" ]] ||
  toolchain=(-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-toolchain.cmake)
cmake -S . -B "$windows_build" -G Ninja -DCMAKE_BUILD_TYPE="$build_type" \
  -DORVANE_BUILD_TESTS=OFF "${toolchain[@]}" >/dev/null
cmake --build "$windows_build" --target orvane-host -- -j"$(nproc)"

stage=$windows_build/stage/OrvaneDisplay-$version
rm -rf "$windows_build/stage"
mkdir -p "$stage/licenses"
x86_64-w64-mingw32-strip -o "$stage/orvane-host.exe" "$windows_build/orvane-host.exe"
cp README.md "$stage/README.md"
# The executable is linked statically: the notices of what it carries go with it.
cp /usr/share/doc/libprotobuf32/copyright "$stage/licenses/protobuf.txt"
cp /usr/share/doc/libopus0/copyright "$stage/licenses/opus.txt"
cp /usr/share/doc/mingw-w64-x86-64-dev/copyright "$stage/licenses/mingw-w64-runtime.txt"

makensis -V2 -DVERSION="$version" -DOUTFILE="$PWD/$out/OrvaneDisplay-$version-setup.exe" \
  -DHOST_EXE="$PWD/$stage/orvane-host.exe" -DREADME="$PWD/$stage/README.md" \
  -DNOTICES="$PWD/$stage/licenses" -DICON="$PWD/host/resources/orvane.ico" \
  -DCONTROL_PORT="$control_port" -DMEDIA_PORT="$media_port" -DINPUT_PORT="$input_port" \
  packaging/windows/installer.nsi

find "$windows_build/stage" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
(cd "$windows_build/stage" &&
  find "OrvaneDisplay-$version" | LC_ALL=C sort |
  zip -q -X -D "$OLDPWD/$out/OrvaneDisplay-$version-win64.zip" -@)

echo "== Packages"
ls -l "$out"
