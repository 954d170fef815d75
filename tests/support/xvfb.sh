#!/usr/bin/env bash
# Runs a test program on an X server of its own (Xvfb, a display number it picks itself) with
# Qt's xcb platform, where keyboard focus moves as on a desktop; the offscreen platform moves it
# differently. Exits 77 (skipped) when Xvfb is not installed. The server is ended by its pid.
set -u
if ! command -v Xvfb >/dev/null 2>&1; then
  echo "Xvfb is not installed (Debian package xvfb): skipped"
  exit 77
fi
work=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/log" &
server=$!
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  if ! kill -0 "$server" 2>/dev/null; then
    echo "Xvfb did not start:"; cat "$work/log"; exit 1
  fi
  sleep 0.1
done
if [ ! -s "$work/display" ]; then
  echo "Xvfb gave no display number within 10 s"; exit 1
fi
DISPLAY=":$(head -n1 "$work/display")" QT_QPA_PLATFORM=xcb "$@"
