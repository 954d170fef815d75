#!/usr/bin/env bash
# Runs the fuzz targets of a BREVION_FUZZ build for a while each, two at a time, and prints one
# line per target: executions, coverage (cov, ft) and crashes.
#   tests/fuzz/run.sh <build-dir> <seconds-per-target> [target ...]
# New inputs go to <build-dir>/fuzz-work/<target>; the committed corpus is only read. A crash
# input lands in <build-dir>/fuzz-work/crashes/ and makes the script fail.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "$1" && pwd)"
seconds="$2"
shift 2
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(fuzz_discovery fuzz_settingsreply fuzz_commandexchange fuzz_settingsfile fuzz_updatefile
             fuzz_texts fuzz_macentry)
fi
work="$build/fuzz-work"
mkdir -p "$work/crashes"

run_one() {
    local t="$1"
    mkdir -p "$work/$t"
    # -timeout: an input that takes 5 s is a hang; -rss_limit_mb keeps memory bounded.
    "$build/tests/fuzz/$t" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=1024 \
        -print_final_stats=1 -artifact_prefix="$work/crashes/$t-" \
        "$work/$t" "$here/corpus/$t" >"$work/$t.log" 2>&1 || true
}
export -f run_one
export build work seconds here
printf '%s\n' "${targets[@]}" | xargs -P 2 -I{} bash -c 'run_one {}'

status=0
printf '%-22s %12s %7s %7s %8s\n' target executions cov ft crashes
for t in "${targets[@]}"; do
    log="$work/$t.log"
    runs=$(grep -oE 'stat::number_of_executed_units: [0-9]+' "$log" | awk '{print $2}' | tail -1)
    last=$(grep -E '^#[0-9]+' "$log" | tail -1)
    cov=$(echo "$last" | grep -oE 'cov: [0-9]+' | awk '{print $2}')
    ft=$(echo "$last" | grep -oE 'ft: [0-9]+' | awk '{print $2}')
    crashes=$(find "$work/crashes" -name "$t-*" -type f | wc -l)
    printf '%-22s %12s %7s %7s %8s\n' "$t" "${runs:-?}" "${cov:-?}" "${ft:-?}" "$crashes"
    if [ "$crashes" -gt 0 ] || [ -z "$runs" ]; then
        status=1
        grep -E 'ERROR|property broken|SUMMARY' "$log" | head -5 || true
    fi
done
exit $status
