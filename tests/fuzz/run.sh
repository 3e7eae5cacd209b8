#!/bin/sh
# Runs fuzz targets one after the other for SECONDS each, with the
# dictionary, the seeds and a fresh corpus in the build folder. Fails on the
# first crash, leak, timeout or memory blow-up, showing its report.
# usage: run.sh BUILD SECONDS TARGET...   (TARGET: fuzz_obj, fuzz_cr2, fuzz_mtl, fuzz_run)
set -u
build=$(cd "$1" && pwd)
seconds=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
work="$build/fuzz"
mkdir -p "$work/artifacts"

status=0
for target in "$@"; do
    seeds="$here/seeds/${target#fuzz_}"
    corpus="$work/corpus/$target"
    log="$work/$target.log"
    rm -rf "$corpus"
    mkdir -p "$corpus"
    echo "fuzz: $target for ${seconds}s (log: $log)"
    ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 UBSAN_OPTIONS=print_stacktrace=1 \
    "$build/tests/fuzz/$target" \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -detect_leaks=1 \
        -max_len=32768 -report_slow_units=2 -print_final_stats=1 \
        -dict="$here/uvpaint.dict" -artifact_prefix="$work/artifacts/$target-" \
        "$corpus" "$seeds" >"$log" 2>&1
    rc=$?
    grep -E '^#[0-9]+[[:space:]]+(DONE|INITED)|^stat::(number_of_executed_units|average_exec_per_sec|new_units_added|peak_rss_mb)|Slowest unit' "$log"
    if [ $rc -ne 0 ]; then
        echo "fuzz: $target FAILED (status $rc); the report:"
        tail -n 60 "$log"
        status=1
        break
    fi
done
exit $status
