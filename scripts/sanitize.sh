#!/usr/bin/env bash
# Builds and runs the tests under the sanitizers (scripts/test.sh runs both):
#   scripts/sanitize.sh address   build/asan: AddressSanitizer and UBSan over every layer's
#                                 tests, the client's and the in-process session tests
#   scripts/sanitize.sh thread    build/tsan: ThreadSanitizer over the tests of the threaded
#                                 transports, the session tests and the reconnect loop
# Any sanitizer report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."

kind=${1:-}
case "$kind" in
  address)
    dir=build/asan
    sanitizers=address,undefined
    # Every layer's tests, whole.
    layer_filter='*'
    client_tests="orvane_client_tests orvane_viewer_tests"
    ;;
  thread)
    dir=build/tsan
    sanitizers=thread
    # The threaded parts of the layers; a layer without them runs no test.
    layer_filter='TcpControlServer*:UdpInputReceiver*:UdpMediaSender*:SocketThread*:AudioPipeline*:TrayReconnect*'
    client_tests=
    ;;
  *)
    echo "usage: $0 address|thread" >&2
    exit 2
    ;;
esac

if [[ ! -f "$dir/build.ninja" ]]; then
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVANE_SANITIZE="$sanitizers" \
    >/dev/null
fi
cmake --build "$dir" --target orvane_layer_tests orvane_session_tests $client_tests -- -j"$(nproc)"

supp=$PWD/scripts/lsan.supp
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=0
export LSAN_OPTIONS=suppressions=$supp:print_suppressions=0
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1

status=0
mapfile -t layer_tests <"$dir/tests/layer_tests.txt"
for tests in "${layer_tests[@]}"; do
  "$tests" --gtest_brief=1 --gtest_filter="$layer_filter" || status=1
done
"$dir/tests/orvane_session_tests" --gtest_brief=1 || status=1
if [[ -n "$client_tests" ]]; then
  "$dir/tests/client/orvane_client_tests" --gtest_brief=1 || status=1
  "$dir/tests/orvane_viewer_tests" --gtest_brief=1 || status=1
fi
exit $status
