# shellcheck shell=bash
# Sourced by the package tests: a failed check is reported and counted, and the test goes
# on, so that one run shows every fault; `finish` ends the test with the verdict.

failures=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# check DESCRIPTION COMMAND...: runs the command, a non-zero status is a failure.
check() {
  local description=$1
  shift
  if "$@"; then
    echo "ok: $description"
  else
    fail "$description"
  fi
}

finish() {
  if ((failures > 0)); then
    echo "$failures check(s) failed" >&2
    exit 1
  fi
  echo "all checks passed"
}

# The version the top-level CMakeLists.txt holds: what the packages and --version name.
project_version() {
  sed -n 's/^project([a-z_]* VERSION \([0-9.]*\).*/\1/p' "$1/CMakeLists.txt"
}

# wait_for SECONDS COMMAND...: true as soon as the command succeeds, false when the time
# is up.
wait_for() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    ((SECONDS < deadline)) || return 1
    sleep 0.2
  done
}
