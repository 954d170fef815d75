#!/usr/bin/env bash
# Opens the program on its built-in simulated bridges.
set -euo pipefail
BUILD="${1:-build}"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ "${QT_QPA_PLATFORM:-}" != "offscreen" ]; then
  echo "There is no display to open the program on: set DISPLAY (for example run it under Xvfb) and try again."
  exit 1
fi
exec "$BUILD/tools/brevion/brevion" --demo
