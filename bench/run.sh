#!/usr/bin/env bash
# Runs every benchmark that has been built, prints its figures and keeps them in
# <build-folder>/bench-results/<benchmark>.txt, each with the machine's load at the time.
#   bash bench/run.sh [build-folder]
set -uo pipefail
BUILD="${1:-build}"
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
RESULTS="$BUILD/bench-results"
mkdir -p "$RESULTS"
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  XDG_RUNTIME_DIR="$(mktemp -d)"
  export XDG_RUNTIME_DIR
  trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
fi

echo "machine: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) CPUs; $(uname -sr)"
echo "build: $BUILD ($(sed -n 's/^CMAKE_BUILD_TYPE:STRING=//p' "$BUILD/CMakeCache.txt" 2>/dev/null))"
echo

status=0
ran=0
run() { # run <executable relative to the build folder> [arguments...]
  local exe="$BUILD/$1"
  shift
  [ -x "$exe" ] || { echo "== $(basename "$exe"): not built"; echo; return 0; }
  local name out
  name="$(basename "$exe")"
  out="$RESULTS/$name.txt"
  {
    echo "== $name $*"
    echo "load before: $(uptime | sed 's/.*load average: //')"
    "$exe" "$@" 2>&1
    local rc=$?
    echo "load after:  $(uptime | sed 's/.*load average: //')"
    [ "$rc" -eq 0 ] || echo "   (failed with status $rc)"
    exit "$rc"
  } | tee "$out"
  [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
  echo
  ran=$((ran + 1))
}

run bench/codec/bench_codec --benchmark_repetitions=5 --benchmark_min_time=0.1 --benchmark_color=false
run bench/startup/bench_startup 10
run bench/update/bench_update 3
run bench/engine/bench_engine 3
run bench/fleet/bench_fleet
run bench/discovery/bench_discovery
run bench/waitloop/bench_waitloop 10

[ "$ran" -gt 0 ] || echo "No benchmark is built in $BUILD (configure with -DBREVION_BUILD_BENCH=ON)."
echo "figures kept in $RESULTS"
exit "$status"
