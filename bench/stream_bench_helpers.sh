# shellcheck shell=bash
# shellcheck disable=SC2154 # the sourcing benchmark sets the binary and port variables
# Sourced (not run) by the benchmarks that stream from the whole host.
#
#   require_built BINARY...              ends the script when one of them is missing
#   begin_bench_run NAME                 sets work to a temporary folder and, at exit, stops
#                                        the client, host and animator (client_pid,
#                                        host_pid, animator_pid), the display, and removes it
#   wait_for_text PATTERN SECONDS FILE   waits up to SECONDS for PATTERN in FILE
#   free_port NAME                       sets the variable NAME to a port free for both TCP
#                                        and UDP, below the ephemeral range so that no
#                                        outgoing connection can be holding it; ports
#                                        already handed out are not handed out again
#   choose_host_ports                    sets control_port, media_port and input_port to
#                                        free ports and identity to a file in $work, the
#                                        host and identity that client ARGS... (the reference
#                                        client) talks to
#   start_host                           starts $host_binary on $control_port, $media_port
#                                        and $input_port with the arguments of the array
#                                        host_arguments and the variable assignments of
#                                        the array host_environment, as host_pid, its
#                                        output in $work/host.log; ends the script when it
#                                        does not become ready
#   pair_client                          pairs the identity of client() with the host in
#                                        XDG_CONFIG_HOME (starts and stops one)
#   host_cpu_ticks                       user + system clock ticks host_pid used so far

require_built() {
  local binary
  for binary in "$@"; do
    if [[ ! -x "$binary" ]]; then
      echo "$(basename "$0"): $binary is missing; run scripts/bench.sh, which builds first" >&2
      exit 1
    fi
  done
}

animator_pid="" host_pid="" client_pid="" work=""
end_bench_run() {
  stop_process "$client_pid"
  stop_process "$host_pid"
  stop_process "$animator_pid"
  stop_virtual_display
  rm -rf "$work"
}
begin_bench_run() {
  work=$(mktemp -d -t "orvane-$1.XXXXXX")
  trap end_bench_run EXIT
  trap 'exit 130' INT TERM
}

wait_for_text() {
  local pattern=$1 limit=$2 file=$3
  local deadline=$((SECONDS + limit))
  until grep -qF -- "$pattern" "$file" 2>/dev/null; do
    if ((SECONDS >= deadline)); then
      return 1
    fi
    sleep 0.1
  done
}

# Runs in the caller's shell (no subshell), so the ports handed out are remembered.
taken_ports=" "
free_port() {
  local port
  for _ in $(seq 200); do
    port=$((20000 + RANDOM % 12000))
    [[ "$taken_ports" == *" $port "* ]] && continue
    # Local addresses in /proc/net/* are address:PORT with the port in upper-case hex.
    if ! awk -v port="$(printf ':%04X' "$port")" 'FNR > 1 && substr($2, length($2) - 4) == port { found = 1 }
        END { exit !found }' /proc/net/tcp /proc/net/tcp6 /proc/net/udp /proc/net/udp6 2>/dev/null; then
      taken_ports+="$port "
      printf -v "$1" '%s' "$port"
      return 0
    fi
  done
  echo "$(basename "$0"): no free port found" >&2
  return 1
}

control_port="" media_port="" input_port="" identity=""
choose_host_ports() {
  free_port control_port
  free_port media_port
  free_port input_port
  identity="$work/identity.json"
}
client() {
  "$client_binary" "$@" --port "$control_port" --identity "$identity"
}

host_environment=() host_arguments=()
start_host() {
  : >"$work/host.log"
  env "${host_environment[@]}" "$host_binary" --control-port "$control_port" \
    --media-port "$media_port" --input-port "$input_port" "${host_arguments[@]}" \
    >"$work/host.log" 2>&1 &
  host_pid=$!
  if ! wait_for_text "Ready. Waiting for mobile client" 15 "$work/host.log"; then
    echo "$(basename "$0"): the host did not become ready" >&2
    cat "$work/host.log" >&2
    exit 1
  fi
}

pair_client() {
  start_host
  client pair >"$work/pair1.log" 2>&1 || true
  local code
  code=$(head -n1 "$XDG_CONFIG_HOME/OrvaneDisplay/active_pairing_code.txt" | cut -c1-6)
  sleep 2.1 # the host checks pairing proofs at most once per 2 s
  if ! client pair --code "$code" >"$work/pair2.log" 2>&1; then
    echo "$(basename "$0"): pairing failed" >&2
    cat "$work/pair2.log" >&2
    exit 1
  fi
  stop_process "$host_pid"
  host_pid=""
}

host_cpu_ticks() {
  awk '{ sub(/^.*\) /, ""); print $12 + $13 }' "/proc/$host_pid/stat"
}
