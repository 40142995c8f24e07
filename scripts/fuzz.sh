#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build/fuzz (tests/fuzz/*_fuzz.cpp,
# each with its kept corpus tests/fuzz/corpus/<name>/ and, where there is one,
# its dictionary tests/fuzz/<name>.dict and libFuzzer options for its
# searches tests/fuzz/<name>.options) and runs them.
#   scripts/fuzz.sh [--brief]           every target over its kept corpus, then
#                                       a few seconds of fuzzing each: the test
#                                       run's check, under 2 minutes in all
#   scripts/fuzz.sh --campaign [N]      N executions per target (default
#                                       10,000,000), new corpus entries merged
#                                       back into tests/fuzz/corpus; one line
#                                       per target: executions, corpus, crashes.
#                                       FUZZ_JOBS targets at once (default: the
#                                       number of cores)
#   FUZZ_TARGETS="url version ..."      only these targets, in this order
#   scripts/fuzz.sh --seconds S         S seconds of fuzzing per target
# Fails when a target crashes, leaks, hangs or trips a sanitizer (a campaign
# goes on past a crash, keeps its input in build/fuzz/crashes/<name>/, and
# fails at the end).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

mode=brief
executions=10000000
seconds=6
case "${1:-}" in
    "" | --brief) ;;
    --campaign)
        mode=campaign
        executions=${2:-$executions}
        ;;
    --seconds)
        mode=seconds
        seconds=${2:?--seconds needs a number}
        ;;
    *)
        sed -n '2,19p' "$0" >&2
        exit 2
        ;;
esac

build=build/fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKLV_FUZZ=ON >/dev/null
targets=$(cd tests/fuzz && ls *_fuzz.cpp 2>/dev/null | sed 's/\.cpp$//')
if [ -n "${FUZZ_TARGETS:-}" ]; then
    for name in $FUZZ_TARGETS; do
        grep -qx "${name%_fuzz}_fuzz" <<<"$targets" || { echo "no fuzz target $name"; exit 2; }
    done
    targets=$(for name in $FUZZ_TARGETS; do echo "${name%_fuzz}_fuzz"; done)
fi
[ -n "$targets" ] || { echo "no fuzz targets"; exit 0; }
# shellcheck disable=SC2086
cmake --build "$build" --target $targets

# Options every run shares: a hang or a runaway allocation is a finding too.
common=(-timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=1024 -print_final_stats=1)
# A small quarantine and no allocation stacks: the inputs' heaps are small, so
# a freed block is still caught when used again, and the targets that allocate
# much run about twice as fast (the default quarantine keeps 256 MiB of freed
# memory cycling through fresh pages).
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=16:malloc_context_size=0}

search_options() {  # NAME -> the target's dictionary and its own search options
    if [ -f "$root/tests/fuzz/$1.dict" ]; then echo "-dict=$root/tests/fuzz/$1.dict"; fi
    if [ -f "$root/tests/fuzz/$1.options" ]; then grep -v '^#' "$root/tests/fuzz/$1.options" || true; fi
}

stat_of() {  # LOG STAT -> the number libFuzzer printed for it, or 0
    sed -n "s/^stat::$2: *\([0-9]*\).*/\1/p" "$1" | tail -n 1 | grep . || echo 0
}

run_brief() {  # TARGET NAME
    local target=$1 name=$2 work=$build/corpus-run/$2 log=$build/logs/$2.log
    rm -rf "$work" && mkdir -p "$work" "$build/logs"
    # The kept corpus, replayed input by input: every past finding stays fixed.
    "$build/tests/fuzz/$target" "${common[@]}" -runs=0 "tests/fuzz/corpus/$name" >"$log" 2>&1 || {
        tail -n 40 "$log"; echo "$target failed on its kept corpus"; return 1; }
    # Then a short search from it, in a copy so that the kept corpus stays as it is.
    cp -r "tests/fuzz/corpus/$name/." "$work/"
    # shellcheck disable=SC2046
    (cd "$build" && "./tests/fuzz/$target" "${common[@]}" $(search_options "$name") -max_total_time="$seconds" \
        -artifact_prefix="logs/$name-" "corpus-run/$name") >>"$log" 2>&1 || {
        tail -n 40 "$log"; echo "$target failed"; return 1; }
    printf '%-24s %10s executions  corpus %6s  crashes 0\n' "$target" "$(stat_of "$log" number_of_executed_units)" \
        "$(ls "tests/fuzz/corpus/$name" | wc -l)"
}

run_campaign() {  # TARGET NAME -> prints its line; returns 1 when it crashed
    local target=$1 name=$2 work=$build/campaign/$2 crashes=$build/crashes/$2 log=$build/logs/$2-campaign.log
    rm -rf "$crashes"
    mkdir -p "$work" "$crashes" "$build/logs"
    cp -rn "tests/fuzz/corpus/$name/." "$work/" 2>/dev/null || true
    local done=0 restarts=0
    : >"$log"
    # A crash ends libFuzzer's run; the campaign notes it and goes on with the
    # executions left, up to a bound on restarts.
    while [ "$done" -lt "$executions" ] && [ "$restarts" -lt 20 ]; do
        local part=$build/logs/$name-part.log status=0
        # shellcheck disable=SC2046
        nice -n 19 "$build/tests/fuzz/$target" "${common[@]}" $(search_options "$name") \
            -runs=$((executions - done)) -artifact_prefix="$crashes/" "$work" >"$part" 2>&1 || status=$?
        cat "$part" >>"$log"
        local ran
        ran=$(stat_of "$part" number_of_executed_units)
        done=$((done + ran))
        [ "$status" = 0 ] && continue
        restarts=$((restarts + 1))
        [ "$ran" -gt 0 ] || restarts=20  # crashes at once: no use restarting
        # The time limit is wall-clock time, and a campaign runs at the lowest
        # priority: on a busy machine a quick input can overrun it. A timeout
        # counts only when the input also overruns on its own, replayed at
        # normal priority.
        local unit
        unit=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$part" | grep '/timeout-' | tail -n 1 || true)
        if [ -n "$unit" ] && "$build/tests/fuzz/$target" "${common[@]}" "$unit" >>"$log" 2>&1; then
            echo "campaign: $unit passes when replayed alone: the machine was busy, no finding" >>"$log"
            rm -f "$unit"
        fi
    done
    # New entries that add coverage go back into the kept corpus, minimised.
    "$build/tests/fuzz/$target" -merge=1 "tests/fuzz/corpus/$name" "$work" >>"$log" 2>&1
    # Findings: the distinct inputs kept (named by their content, so one found
    # again after a restart counts once); slow units are reports, not findings.
    local findings
    findings=$(find "$crashes" -type f ! -name 'slow-unit-*' | wc -l)
    printf '%-24s %10s executions  corpus %6s  crashes %s\n' "$target" "$done" \
        "$(ls "tests/fuzz/corpus/$name" | wc -l)" "$findings"
    [ "$findings" = 0 ]
}

start=$(date +%s)
failed=0
jobs=${FUZZ_JOBS:-$(nproc)}
running=0
for target in $targets; do
    name=${target%_fuzz}
    mkdir -p "tests/fuzz/corpus/$name"
    case $mode in
        brief) run_brief "$target" "$name" || exit 1 ;;
        seconds)
            work=$build/corpus-run/$name
            rm -rf "$work" && mkdir -p "$work" && cp -r "tests/fuzz/corpus/$name/." "$work/"
            log=$build/logs/$name.log
            mkdir -p "$build/logs"
            echo "== $target: $seconds s"
            status=0
            # shellcheck disable=SC2046
            (cd "$build" && "./tests/fuzz/$target" "${common[@]}" $(search_options "$name") \
                -max_total_time="$seconds" -artifact_prefix="logs/$name-" "corpus-run/$name") >"$log" 2>&1 || status=$?
            tail -n 12 "$log"
            [ "$status" = 0 ] || { echo "$target failed"; exit 1; }
            ;;
        campaign)
            # Targets are independent (each has its own work folder, logs and
            # kept corpus), so a campaign keeps every core busy.
            if [ "$running" -ge "$jobs" ]; then
                wait -n || failed=1
                running=$((running - 1))
            fi
            run_campaign "$target" "$name" &
            running=$((running + 1))
            ;;
    esac
done
while [ "$running" -gt 0 ]; do
    wait -n || failed=1
    running=$((running - 1))
done
echo "fuzz ($mode): $(( $(date +%s) - start )) s"
if [ "$failed" != 0 ]; then
    echo "crash inputs are in $build/crashes/"
    exit 1
fi
