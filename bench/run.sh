#!/usr/bin/env bash
# Runs every benchmark that has been built and prints its results.
#   bash bench/run.sh [build-folder]
set -uo pipefail
BUILD="${1:-build}"
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"

status=0
ran=0
run() { # run <executable relative to the build folder> [arguments...]
  local exe="$BUILD/$1"
  shift
  [ -x "$exe" ] || return 0
  echo "== $(basename "$exe") $*"
  "$exe" "$@" || { echo "   (failed with status $?)"; status=1; }
  echo
  ran=$((ran + 1))
}

run bench/waitloop/bench_waitloop 10
run bench/discovery/bench_discovery
run bench/update/bench_update 3

[ "$ran" -gt 0 ] || echo "No benchmark is built in $BUILD (configure with -DBREVION_BUILD_BENCH=ON)."
exit "$status"
