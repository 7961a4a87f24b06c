#!/usr/bin/env bash
# The Debian package, installed on this machine with dpkg -i: what it installs and where,
# that its desktop entry, metainfo and user unit validate, that the man pages name every
# option the programs take, that the installed host runs on a virtual display and pairs a
# client, and that dpkg -r leaves none of its files behind. The package is removed again
# whatever happens; a copy that was installed before the test is left alone (the test
# fails instead). Needs root (or sudo).
# usage: tests/packaging/deb_package_test.sh [PACKAGE_DIR]  (default build/packages)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=tests/packaging/checks.sh
source "$root/tests/packaging/checks.sh"
# shellcheck source=scripts/virtual_display.sh
source "$root/scripts/virtual_display.sh"

package=orvane-display
packages=${1:-$root/build/packages}
version=$(project_version "$root")
deb=$packages/${package}_$version-1_amd64.deb
if [[ ! -f "$deb" ]]; then
  echo "no Debian package of $version in $packages; run scripts/package.sh" >&2
  exit 1
fi
sudo_cmd=()
[[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)

work=$(mktemp -d -t orvane-deb-test.XXXXXX)
installed_here=0
host_pid=""

installed() {
  [[ "$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null)" == "install ok installed" ]]
}

# dpkg ARGS...: dpkg as root, waiting while another dpkg or apt holds its lock (this
# machine is shared).
run_dpkg() {
  local deadline=$((SECONDS + 600)) status
  while :; do
    status=0
    "${sudo_cmd[@]}" dpkg "$@" >"$work/dpkg.log" 2>&1 || status=$?
    if ((status == 0)) || ! grep -q 'lock' "$work/dpkg.log" || ((SECONDS > deadline)); then
      cat "$work/dpkg.log"
      return "$status"
    fi
    sleep 2
  done
}

cleanup() {
  stop_process "$host_pid"
  stop_virtual_display
  if ((installed_here)) && dpkg-query -W "$package" >/dev/null 2>&1; then
    echo "Purging $package after a failure"
    run_dpkg -P "$package" >/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap "exit 143" INT TERM HUP

# Two runs of this test on one machine would remove each other's package.
exec {lock_fd}>"${TMPDIR:-/tmp}/orvane-deb-package-test.lock"
flock -w 900 "$lock_fd"
if installed; then
  echo "$package is installed on this machine already; the test leaves it alone" >&2
  exit 1
fi

echo "== dpkg -i"
installed_here=1
check "dpkg -i installs the package" run_dpkg -i "$deb"
check "postinst tells the user how to enable the user unit" \
  grep -qF 'systemctl --user enable --now orvane-host.service' "$work/dpkg.log"
installed || finish

expected_files=(
  /usr/bin/orvane-host
  /usr/bin/orvane-client
  /usr/bin/orvane-viewer
  /usr/share/icons/hicolor/scalable/apps/orvane-display.svg
  /usr/share/applications/org.orvane.DisplayHost.desktop
  /usr/share/metainfo/org.orvane.DisplayHost.metainfo.xml
  /usr/share/man/man1/orvane-host.1.gz
  /usr/share/man/man1/orvane-client.1.gz
  /usr/share/man/man1/orvane-viewer.1.gz
  /usr/lib/systemd/user/orvane-host.service
  /usr/lib/udev/rules.d/70-orvane-uinput.rules
  /usr/lib/modules-load.d/orvane-display.conf
  /usr/share/doc/orvane-display/copyright
)
for file in "${expected_files[@]}"; do
  check "installs $file" test -f "$file"
done

unit=/usr/lib/systemd/user/orvane-host.service
check "the user unit starts the installed host" grep -qx 'ExecStart=/usr/bin/orvane-host' "$unit"
check "the user unit comes with the graphical session" \
  grep -qx 'WantedBy=graphical-session.target' "$unit"
check "the user unit restarts on failure" grep -qx 'Restart=on-failure' "$unit"
check "the user unit is not enabled for anyone" \
  test -z "$(find /etc/systemd -name orvane-host.service 2>/dev/null)"
check "the udev rule gives uinput to the logged-in user" \
  grep -qE '^KERNEL=="uinput".*TAG\+="uaccess"' /usr/lib/udev/rules.d/70-orvane-uinput.rules
check "uinput is loaded at boot" grep -qx uinput /usr/lib/modules-load.d/orvane-display.conf
if command -v systemd-analyze >/dev/null; then
  mkdir -m 700 "$work/runtime"
  check "systemd-analyze verify passes on the user unit" \
    env XDG_RUNTIME_DIR="$work/runtime" systemd-analyze --user verify "$unit"
else
  echo "skipped: systemd-analyze (no systemd here)"
fi
check "desktop-file-validate passes" \
  desktop-file-validate /usr/share/applications/org.orvane.DisplayHost.desktop
check "appstreamcli validate passes" \
  appstreamcli validate --no-net /usr/share/metainfo/org.orvane.DisplayHost.metainfo.xml

check "orvane-host --version" test "$(/usr/bin/orvane-host --version)" == "orvane-host $version"
check "orvane-client --version" \
  test "$(/usr/bin/orvane-client --version)" == "orvane-client $version"
check "orvane-viewer --version" \
  test "$(/usr/bin/orvane-viewer --version)" == "orvane-viewer $version"

# documents PAGE HELP_TEXT: the man page names every option the help text shows.
documents() {
  local page options missing=""
  page=$(zcat "$1" | sed 's/\\-/-/g')
  options=$(grep -oE -- '--[a-z][a-z0-9-]*' <<<"$2" | sort -u)
  for option in $options; do
    grep -qF -- "$option" <<<"$page" || missing+=" $option"
  done
  [[ -z "$missing" ]] || echo "not in $1:$missing"
  [[ -z "$missing" ]]
}
check "orvane-host(1) names every option of --help" \
  documents /usr/share/man/man1/orvane-host.1.gz "$(/usr/bin/orvane-host --help)"
check "orvane-viewer(1) names every option of --help" \
  documents /usr/share/man/man1/orvane-viewer.1.gz "$(/usr/bin/orvane-viewer --help)"
client_help=$(/usr/bin/orvane-client --help)
for command in $(awk '/^commands:/ { on = 1; next } on && NF { print $1 }' <<<"$client_help" |
  grep -v -- '^Run$'); do
  check "orvane-client(1) names every option of $command" \
    documents /usr/share/man/man1/orvane-client.1.gz "$(/usr/bin/orvane-client "$command" --help)"
done

echo "== the installed host on a virtual display"
free_port() {
  python3 -c "import socket,sys; s=socket.socket(socket.AF_INET, getattr(socket, sys.argv[1])); s.bind(('127.0.0.1', 0)); print(s.getsockname()[1])" "$1"
}
control_port=$(free_port SOCK_STREAM)
media_port=$(free_port SOCK_DGRAM)
input_port=$(free_port SOCK_DGRAM)
home=$work/home
mkdir -p "$home/bin"
start_virtual_display 1280x720 "$work/xvfb.log"
# A user of its own: no session or system bus, no sound server, no adb on PATH.
env -i HOME="$home" PATH="$home/bin" DISPLAY="$DISPLAY" \
  XDG_CONFIG_HOME="$home/config" XDG_STATE_HOME="$home/state" \
  DBUS_SESSION_BUS_ADDRESS="unix:path=$home/no-session-bus" \
  DBUS_SYSTEM_BUS_ADDRESS="unix:path=$home/no-system-bus" \
  PULSE_SERVER="unix:$home/no-sound-server" \
  /usr/bin/orvane-host --control-port "$control_port" --media-port "$media_port" \
  --input-port "$input_port" >"$work/host.log" 2>&1 &
host_pid=$!
client() {
  /usr/bin/orvane-client "$@" --port "$control_port" --identity "$home/identity.json"
}
host_ready() { grep -qF '[Main] Ready. Waiting for mobile client...' "$work/host.log"; }
code_file=$home/config/OrvaneDisplay/active_pairing_code.txt
pairs() {
  client pair >"$work/pair1.log" 2>&1 || true
  wait_for 10 test -s "$code_file" || return 1
  client pair --code "$(head -c 6 "$code_file")" >"$work/pair2.log" 2>&1 &&
    grep -q '^Paired' "$work/pair2.log"
}
check "the installed host gets ready" wait_for 30 host_ready
check "it pairs a client with the code it shows" pairs
check "the paired client is trusted" client ping --count 1
if ((failures > 0)); then
  echo "--- host output"
  cat "$work/host.log"
fi
stop_process "$host_pid"
host_pid=""
stop_virtual_display

echo "== dpkg -r"
package_files=$(dpkg-query -L "$package")
check "dpkg -r removes the package" run_dpkg -r "$package"
left=""
while IFS= read -r path; do
  # Folders are shared with other packages; the package's own must go.
  if [[ -d "$path" && "$path" != *orvane* ]]; then
    continue
  fi
  [[ -e "$path" ]] && left+=" $path"
done <<<"$package_files"
check "no file of the package is left behind${left:+ (left:$left)}" test -z "$left"
# A package with a postrm stays known ("config-files") until it is purged.
check "dpkg -r leaves no more than the package's record" \
  test -z "$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null |
    grep -vE 'not-installed|config-files')"
check "dpkg -P forgets the package" run_dpkg -P "$package"

finish
