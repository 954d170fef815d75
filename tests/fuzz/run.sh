#!/usr/bin/env bash
# Runs the fuzz targets of a BREVION_FUZZ build for a while each, two at a time, and prints each
# target's last status line; fails on a crash input or a target that did not run.
#   tests/fuzz/run.sh <build-dir> <seconds-per-target> [target ...]
# New inputs go to <build-dir>/fuzz-work/<target>; the committed corpus is only read. A crash
# input lands in <build-dir>/fuzz-work/crashes/.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "$1" && pwd)"
seconds="$2"
shift 2
targets=("$@")
# Without a list, every target the build holds.
[ ${#targets[@]} -gt 0 ] || mapfile -t targets < <(find "$build/tests/fuzz" -maxdepth 1 -type f -executable -name 'fuzz_*' -printf '%f\n' | sort)
[ ${#targets[@]} -gt 0 ] || { echo "no fuzz targets in $build/tests/fuzz"; exit 1; }
work="$build/fuzz-work"
mkdir -p "$work/crashes"
# -timeout: an input that takes 5 s is a hang; -rss_limit_mb keeps memory bounded.
printf '%s\n' "${targets[@]}" | xargs -P 2 -I{} sh -c 'mkdir -p "$1/$2" && "$3/tests/fuzz/$2" \
    -max_total_time="$4" -timeout=5 -rss_limit_mb=1024 -print_final_stats=1 -artifact_prefix="$1/crashes/$2-" \
    "$1/$2" "$5/corpus/$2" >"$1/$2.log" 2>&1 || true' _ "$work" {} "$build" "$seconds" "$here"
status=0
for t in "${targets[@]}"; do
    crashes=$(find "$work/crashes" -name "$t-*" -type f | wc -l)
    echo "$t: $(grep -E '^#[0-9]+' "$work/$t.log" | tail -1), crashes: $crashes"
    if [ "$crashes" -gt 0 ] || ! grep -q 'stat::number_of_executed_units' "$work/$t.log"; then
        status=1
        grep -E 'ERROR|property broken|SUMMARY' "$work/$t.log" | head -5 || true
    fi
done
exit $status
