#!/usr/bin/env bash
# Builds the native tests with ThreadSanitizer in build/tsan and runs the ones
# that use threads: the transport against loopback peers on threads of their
# own, the cookie jar's lock, the update server (an event loop per core;
# the tests start the server binary of this build, so it runs under
# ThreadSanitizer too), the chain cipher's per-thread seed, the fault tests
# (a server killed, silent or failing while the client reads), and the
# self-update worker. Fails on any race report, from the tests or from a
# server process they started.
#   scripts/tsan.sh              the thread tests
#   scripts/tsan.sh FILTER       another GoogleTest filter
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/tsan
# The crash tables (label "crash") run once, in the native tier: they use no
# thread of their own, and replaying every step again here would only cost time.
filter=${1:-'ChainCipher.SeedsVaryBetweenCallsAndThreadsDoNotRace:CookieJar.*:Http*:*Exchange*:UpdateServer.*:*Fault*:*SelfUpdate*-CrashTable.*'}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKLV_TSAN=ON >/dev/null
# The whole tree: the tests read what other targets make (the tools, samples).
cmake --build "$build"

# Every process writes its reports to a file of its own (log_path.PID), the
# server processes the tests start included: they inherit TSAN_OPTIONS.
reports=$PWD/$build/tsan-reports
rm -rf "$reports" && mkdir -p "$reports"
status=0
TSAN_OPTIONS="log_path=$reports/report second_deadlock_stack=1 history_size=4" \
    "$build/tests/klv_native_tests" --gtest_filter="$filter" --gtest_brief=1 || status=$?
if compgen -G "$reports/report*" >/dev/null; then
    cat "$reports"/report*
    echo "tsan: $(cat "$reports"/report* | grep -c '^WARNING: ThreadSanitizer') report(s), in $reports"
    exit 1
fi
[ "$status" = 0 ] || { echo "tsan: tests failed"; exit "$status"; }
echo "tsan: no reports"
