#!/usr/bin/env bash
# The Windows packages under wine, in a prefix of the test's own. A silent install puts
# the host into Program Files with a Start-menu entry, registers the uninstaller and opens
# the firewall for the host's ports on private networks (netsh.exe is replaced by a
# stand-in that records its calls, since Wine's does nothing); a second install with
# /AUTOSTART adds the start at login without doubling the rules; the silent uninstall
# takes all of it away again; when Windows refuses a rule, the silent install says so by
# its exit status. The portable zip carries the same executable.
# usage: tests/packaging/windows_installer_test.sh [PACKAGE_DIR]  (default build/packages)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=tests/packaging/checks.sh
source "$root/tests/packaging/checks.sh"

packages=${1:-$root/build/packages}
version=$(project_version "$root")
installer=$packages/OrvaneDisplay-$version-setup.exe
zip=$packages/OrvaneDisplay-$version-win64.zip
if [[ ! -f "$installer" || ! -f "$zip" ]]; then
  echo "no Windows packages of $version in $packages; run scripts/package.sh" >&2
  exit 1
fi

work=$(mktemp -d -t orvane-installer-test.XXXXXX)
export WINEPREFIX=$work/prefix WINEDEBUG=-all HOME=$work/home
# The stand-in instead of Wine's builtin netsh, and no launchers for the Start-menu entry
# in the desktop of whoever runs the test.
export WINEDLLOVERRIDES="netsh.exe=n;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
trap "exit 143" INT TERM HUP
mkdir -p "$HOME"

drive=$WINEPREFIX/drive_c
install_dir="$drive/Program Files/Orvane Display"
shortcut="$drive/ProgramData/Microsoft/Windows/Start Menu/Programs/Orvane Display Host.lnk"
calls=$drive/netsh-calls.txt
uninstall_key='Software\Microsoft\Windows\CurrentVersion\Uninstall\OrvaneDisplay'
run_key='Software\Microsoft\Windows\CurrentVersion\Run'

echo "Preparing a wine prefix"
wineboot --init >/dev/null 2>&1 || true
wineserver -w
x86_64-w64-mingw32-gcc -municode -O2 -Wall -Wextra -Werror \
  -o "$drive/windows/system32/netsh.exe" "$root/tests/packaging/netsh_recorder.c"

# run_wine PROGRAM ARGS...: runs it, then waits until every process of the prefix has
# ended (the uninstaller hands over to a copy of itself) and the registry is on disk.
run_wine() {
  local status=0
  wine "$@" >"$work/wine.log" 2>&1 || status=$?
  wineserver -w
  return "$status"
}

# reg_value KEY NAME: the value's text as system.reg (HKEY_LOCAL_MACHINE) holds it.
reg_value() {
  HEADER="[${1//\\/\\\\}]" NAME="\"$2\"=" awk '
    index($0, ENVIRON["HEADER"]) == 1 { inside = 1; next }
    inside && /^\[/ { inside = 0 }
    inside && index($0, ENVIRON["NAME"]) == 1 {
      print substr($0, length(ENVIRON["NAME"]) + 1); found = 1
    }
    END { exit !found }' "$WINEPREFIX/system.reg"
}

# reg_string TEXT: TEXT as a string value in system.reg.
reg_string() {
  local text=${1//\\/\\\\}
  printf '"%s"' "${text//\"/\\\"}"
}

has_no_value() { ! reg_value "$1" "$2" >/dev/null; }
value_is() { [[ "$(reg_value "$1" "$2")" == "$(reg_string "$3")" ]]; }

# rule_added PROTOCOL PORT: netsh, called from the system folder, added an inbound rule
# that allows the installed host to take PORT on private networks.
rule_added() {
  grep -F 'advfirewall firewall add rule' "$calls" | grep -F "protocol=$1 " |
    grep -F "localport=$2 " | grep -F ' dir=in ' | grep -F ' action=allow ' |
    grep -F ' profile=private' |
    grep -F 'program="C:\Program Files\Orvane Display\orvane-host.exe"' |
    grep -qiF '"C:\windows\system32\netsh.exe" '
}

rule_names() {
  sed -n 's/.* firewall \(add\|delete\) rule name="\([^"]*\)".*/\1 \2/p' "$calls"
}

# Every rule added was first deleted by name, so that a reinstall does not double it.
rules_replaced_not_doubled() {
  rule_names | awk '$1 == "delete" { sub(/^delete /, ""); deleted[$0] = 1; next }
                    { sub(/^add /, ""); if (!($0 in deleted)) bad = 1; delete deleted[$0] }
                    END { exit bad }'
}

# Every rule the installs added was deleted by the uninstaller after them.
rules_removed() {
  rule_names | awk '$1 == "add" { sub(/^add /, ""); open[$0] = 1; next }
                    { sub(/^delete /, ""); delete open[$0] }
                    END { for (name in open) { print "left: " name; bad = 1 } exit bad }'
}

host_version_is() {
  [[ "$(wine "$install_dir/orvane-host.exe" --version 2>/dev/null | tr -d '\r')" == "orvane-host $1" ]]
}

echo "== silent install"
check "the installer succeeds with /S" run_wine "$installer" /S
check "the host is in Program Files and answers --version" host_version_is "$version"
check "a Start-menu entry" test -f "$shortcut"
check "the uninstaller is registered in Apps & Features" \
  value_is "$uninstall_key" UninstallString "\"C:\\Program Files\\Orvane Display\\uninstall.exe\""
check "the silent uninstall is registered" \
  value_is "$uninstall_key" QuietUninstallString "\"C:\\Program Files\\Orvane Display\\uninstall.exe\" /S"
check "the registered version" value_is "$uninstall_key" DisplayVersion "$version"
check "the uninstaller is there" test -f "$install_dir/uninstall.exe"
check "firewall: control port TCP 9430" rule_added tcp 9430
check "firewall: media port UDP 9431" rule_added udp 9431
check "firewall: input port UDP 9432" rule_added udp 9432
check "no start at login unless asked" has_no_value "$run_key" OrvaneDisplay

echo "== silent reinstall with /AUTOSTART"
check "the installer succeeds with /S /AUTOSTART" run_wine "$installer" /S /AUTOSTART
check "the host starts at login, in the background" value_is "$run_key" OrvaneDisplay \
  "\"C:\\Program Files\\Orvane Display\\orvane-host.exe\" --background"
check "firewall rules are replaced, not doubled" rules_replaced_not_doubled
check "the updated host answers --version" host_version_is "$version"
check "the replaced executable is gone" test ! -e "$install_dir/orvane-host.exe.old"

echo "== silent uninstall"
check "the uninstaller succeeds with /S" run_wine "$install_dir/uninstall.exe" /S
check "the install folder is gone" test ! -e "$install_dir"
check "the Start-menu entry is gone" test ! -e "$shortcut"
check "the uninstaller is no longer registered" has_no_value "$uninstall_key" UninstallString
check "the start at login is gone" has_no_value "$run_key" OrvaneDisplay
check "every firewall rule added is deleted" rules_removed

echo "== portable zip"
zip_names=$(python3 -m zipfile -l "$zip" | awk 'NR > 1 { print $1 }' | sort | tr '\n' ' ')
expected_names=$(printf "OrvaneDisplay-$version/%s\n" README.md orvane-host.exe \
  licenses/mingw-w64-runtime.txt licenses/opus.txt licenses/protobuf.txt | sort | tr '\n' ' ')
check "the zip holds the host, README and licence texts" test "$zip_names" == "$expected_names"
unzip -p "$zip" "OrvaneDisplay-$version/orvane-host.exe" >"$work/zipped-host.exe"
# A rule Windows refuses leaves the host installed, and a silent install says so.
refused_rule_exits_with_3() {
  local status=0
  NETSH_STAND_IN_EXIT=1 run_wine "$installer" /S || status=$?
  [[ "$status" == 3 ]] || echo "the installer exited with $status"
  [[ "$status" == 3 ]]
}
check "a firewall rule Windows refuses: the silent install exits with 3" refused_rule_exits_with_3
check "the zip's host is the installer's" cmp -s "$work/zipped-host.exe" "$install_dir/orvane-host.exe"

finish
