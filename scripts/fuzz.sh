#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan, in build/fuzz) and runs
# each for SECONDS (default 60) from its seed corpus in fuzz/corpus/<target>.
# Inputs the fuzzers find go to a scratch corpus, never into the repository;
# a crash leaves its input in build/fuzz/artifacts and fails the run.
# Usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
dir=build/fuzz
targets=(reply_bursts frame_text request_decoder sysfs pager_console journal)

CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DSNTOOL_FUZZ=ON -DSNTOOL_WERROR=ON >/dev/null
cmake --build "$dir" -j "$(nproc 2>/dev/null || echo 2)"

mkdir -p "$dir/artifacts"
# One fuzzer a core: they share nothing but the machine.
fuzz_one() {  # fuzz_one TARGET: its log, and its exit code in TARGET.rc
    local t=$1 work rc
    work=$(mktemp -d)
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        "$dir/fuzz/${t}_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$dir/artifacts/$t-" \
        "$work" "fuzz/corpus/$t" >"$dir/artifacts/$t.log" 2>&1 && rc=0 || rc=$?
    rm -rf "$work"
    echo "$rc" >"$dir/artifacts/$t.rc"
}
jobs=$(nproc 2>/dev/null || echo 2)
running=0
for t in "${targets[@]}"; do
    if [ "$running" -ge "$jobs" ]; then wait -n; running=$((running - 1)); fi
    fuzz_one "$t" &
    running=$((running + 1))
done
wait

failed=()
printf '%-18s %12s %10s  %s\n' target execs exec/s result
for t in "${targets[@]}"; do
    log="$dir/artifacts/$t.log"
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
    result=ok
    if [ "$(cat "$dir/artifacts/$t.rc")" -ne 0 ]; then
        result="FAILED (see $log)"
        failed+=("$t")
        grep -m1 -E 'ERROR|SUMMARY|deadly signal|runtime error' "$log" >&2 || true
    fi
    printf '%-18s %12s %10s  %s\n' "$t" "${execs:-?}" "${rate:-?}" "$result"
done
if [ ${#failed[@]} -ne 0 ]; then
    echo "fuzzing found a crash in: ${failed[*]}" >&2
    exit 1
fi
