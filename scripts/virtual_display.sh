# shellcheck shell=bash
# Sourced (not run) by the scripts that give the host an X display of its own.
#
#   start_virtual_display SIZE LOG   starts Xvfb with a SIZE (e.g. 1920x1080) 24-bit screen
#                                    on the first free display, waits until it takes
#                                    clients, exports DISPLAY and sets VIRTUAL_DISPLAY_PID;
#                                    Xvfb's output goes to LOG. Fails (printing LOG) when
#                                    the server is not up within 15 s.
#   stop_virtual_display             stops that server, if one was started
#   stop_process PID                 asks a child to stop, and forces it after 5 s

VIRTUAL_DISPLAY_PID=""

stop_process() {
  local pid=$1
  [[ -n "$pid" ]] || return 0
  kill "$pid" 2>/dev/null || true
  for _ in $(seq 50); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}

# Xvfb picks a free display itself and writes its number to the -displayfd descriptor
# once it accepts connections, so there is neither a guessed display nor a race with a
# client that connects too early.
start_virtual_display() {
  local size=$1 log=$2 number_file number=""
  number_file=$(mktemp -t orvane-display.XXXXXX)
  exec {number_fd}>"$number_file"
  Xvfb -displayfd "$number_fd" -screen 0 "${size}x24" -nolisten tcp -br -noreset >"$log" 2>&1 &
  VIRTUAL_DISPLAY_PID=$!
  exec {number_fd}>&-
  for _ in $(seq 150); do
    number=$(head -n1 "$number_file" 2>/dev/null || true)
    [[ -n "$number" ]] && break
    kill -0 "$VIRTUAL_DISPLAY_PID" 2>/dev/null || break
    sleep 0.1
  done
  rm -f "$number_file"
  if [[ -z "$number" ]]; then
    echo "Xvfb did not start:" >&2
    cat "$log" >&2
    stop_virtual_display
    return 1
  fi
  export DISPLAY=":$number"
}

stop_virtual_display() {
  stop_process "$VIRTUAL_DISPLAY_PID"
  VIRTUAL_DISPLAY_PID=""
}
