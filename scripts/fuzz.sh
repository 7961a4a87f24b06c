#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, with ASan and UBSan) in build/fuzz, writes their
# seed corpora from valid messages and runs every target for the given number of seconds
# (default 60). Prints the executions and coverage of each, and the input of any crash;
# exits non-zero when a target crashed. The corpora grow in build/fuzz/runs/corpus and
# are reused by later runs.
#   scripts/fuzz.sh [seconds-per-target]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
targets=(control_stream input_datagram trust_file command_line media_reassembly)

if [[ ! -f build/fuzz/build.ninja ]]; then
  CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DORVANE_FUZZ=ON -DORVANE_BUILD_TESTS=OFF >/dev/null
fi
cmake --build build/fuzz --target orvane_fuzz_seeds "${targets[@]/%/_fuzzer}" -- -j"$(nproc)"

runs=build/fuzz/runs
rm -rf "$runs/seeds"
build/fuzz/fuzz/orvane_fuzz_seeds "$runs/seeds"

export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
status=0
printf '%-18s %12s %8s %8s %8s  %s\n' target executions cov features corpus result
for target in "${targets[@]}"; do
  corpus=$runs/corpus/$target
  crashes=$runs/crashes/$target
  log=$runs/$target.log
  rm -rf "$crashes"
  mkdir -p "$corpus" "$crashes"
  result=ok
  if ! "build/fuzz/fuzz/${target}_fuzzer" -max_total_time="$seconds" -timeout=10 \
    -print_final_stats=1 -artifact_prefix="$crashes/" "$corpus" "$runs/seeds/$target" \
    >"$log" 2>&1; then
    result="CRASH (log: $log)"
    status=1
  fi
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  # The last status line: "#N <event> cov: C ft: F corp: K/size ...".
  last=$(grep -E '^#[0-9]+.*cov: ' "$log" | tail -1)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
  features=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
  size=$(sed -n 's/.* corp: \([0-9]*\).*/\1/p' <<<"$last")
  printf '%-18s %12s %8s %8s %8s  %s\n' "$target" "${executions:-?}" "${cov:-?}" \
    "${features:-?}" "${size:-?}" "$result"
  for input in "$crashes"/*; do
    [[ -f "$input" ]] || continue
    echo "  crash input: $input"
    od -A x -t x1z -v "$input" | head -8 | sed 's/^/    /'
  done
done
exit $status
