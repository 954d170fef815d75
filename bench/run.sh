#!/usr/bin/env bash
# Runs every benchmark that has been built, prints its figures and keeps them in
# <build-folder>/bench-results/<benchmark>.txt, each with the machine's load at the time.
#   bash bench/run.sh [build-folder [name]]    name: run only the benchmarks whose name holds it
set -uo pipefail
BUILD="${1:-build}"
ONLY="${2:-}"
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
RESULTS="$BUILD/bench-results"
mkdir -p "$RESULTS"
TEMP_DIRS=()
SAVED_RMEM=()
# Puts back the receive limits changed for the discovery benchmark; runs on every exit.
restore_rmem() {
  [ "${#SAVED_RMEM[@]}" -eq 2 ] || return 0
  sysctl -q -w net.core.rmem_max="${SAVED_RMEM[0]}" net.core.rmem_default="${SAVED_RMEM[1]}"
  SAVED_RMEM=()
}
cleanup() {
  restore_rmem
  [ "${#TEMP_DIRS[@]}" -eq 0 ] || rm -rf "${TEMP_DIRS[@]}"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  XDG_RUNTIME_DIR="$(mktemp -d)"
  export XDG_RUNTIME_DIR
  TEMP_DIRS+=("$XDG_RUNTIME_DIR")
fi

echo "machine: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) CPUs; $(uname -sr)"
echo "build: $BUILD ($(sed -n 's/^CMAKE_BUILD_TYPE:STRING=//p' "$BUILD/CMakeCache.txt" 2>/dev/null))"
echo

status=0
ran=0
RUN_AS=()
run() { # run <executable relative to the build folder> [arguments...]
  local exe="$BUILD/$1"
  shift
  [ -x "$exe" ] || { echo "== $(basename "$exe"): not built"; echo; return 0; }
  local name out
  name="$(basename "$exe")"
  [[ "$name" == *"$ONLY"* ]] || return 0
  out="$RESULTS/$name.txt"
  {
    echo "== $name $*"
    echo "load before: $(uptime | sed 's/.*load average: //')"
    "${RUN_AS[@]}" "$exe" "$@" 2>&1
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
run bench/engine/bench_engine 3
run bench/fleet/bench_fleet
# Discovery as an ordinary user with the kernel's stock receive limit (net.core.rmem_max
# 212992): root may force a larger socket buffer, which hides lost replies. Run as root, the
# runner sets that limit for this benchmark alone, runs it as nobody, and puts the limit back.
STOCK_RMEM=212992
if [ "$(id -u)" -eq 0 ] && [ -x "$BUILD/bench/discovery/bench_discovery" ] &&
   [[ bench_discovery == *"$ONLY"* ]]; then
  SAVED_RMEM=("$(cat /proc/sys/net/core/rmem_max)" "$(cat /proc/sys/net/core/rmem_default)")
  NOBODY_HOME="$(mktemp -d)"
  TEMP_DIRS+=("$NOBODY_HOME")
  chown nobody:nogroup "$NOBODY_HOME"
  sysctl -q -w net.core.rmem_max=$STOCK_RMEM net.core.rmem_default=$STOCK_RMEM
  RUN_AS=(setpriv --reuid=nobody --regid=nogroup --clear-groups
          env HOME="$NOBODY_HOME" XDG_RUNTIME_DIR="$NOBODY_HOME")
fi
run bench/discovery/bench_discovery
RUN_AS=()
restore_rmem
run bench/waitloop/bench_waitloop 10
# The Ansible collection: one talix_settings task for 20 bridges beside talixctl apply (a script).
if [[ bench_ansible == *"$ONLY"* ]]; then
  { echo "== bench_ansible 20 3"; bash "$(dirname "$0")/ansible/bench_ansible.sh" "$BUILD" 20 3 2>&1; } |
    tee "$RESULTS/bench_ansible.txt"
  [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
  echo
  ran=$((ran + 1))
fi

[ "$ran" -gt 0 ] || echo "No benchmark is built in $BUILD (configure with -DBREVION_BUILD_BENCH=ON)."
echo "figures kept in $RESULTS"
exit "$status"
