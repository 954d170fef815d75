#!/usr/bin/env bash
# Opens the program: on its built-in simulated bridges when the host offers them (--demo),
# otherwise on the discovery window alone, searching loopback only: the demo never sends
# anything off this machine.
set -euo pipefail
BUILD="${1:-build}"
MAKE_CMD="${2:-make}"
HOST="$BUILD/tools/brevion/brevion"

has_display() {
  [ "${QT_QPA_PLATFORM:-}" = "offscreen" ] && return 0
  [ -n "${WAYLAND_DISPLAY:-}" ] && return 0
  [ -n "${DISPLAY:-}" ] || return 1
  # A local X display (":N" or ":N.S") must have its server socket.
  if [[ "$DISPLAY" =~ ^:([0-9]+)(\.[0-9]+)?$ ]]; then
    [ -S "/tmp/.X11-unix/X${BASH_REMATCH[1]}" ] || return 1
  fi
  return 0
}

if ! has_display; then
  echo "There is no display to open the program on: set DISPLAY (for example run it under Xvfb) and try again."
  exit 0
fi
# Installs what is missing and builds the program alone: the test suite is not needed to run it.
$MAKE_CMD --no-print-directory configure BUILD="$BUILD"
cmake --build "$BUILD" -j "$(nproc)" --target brevion_host
if "$HOST" --help 2>/dev/null | grep -q -- '--demo'; then
  exec "$HOST" --demo
fi
exec "$HOST" --broadcast 127.255.255.255
