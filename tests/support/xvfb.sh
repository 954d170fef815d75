#!/usr/bin/env bash
# Runs a test program on an X server of its own (Xvfb on a display number it picks itself) with
# Qt's xcb platform, where keyboard focus moves as on a desktop. Skipped (77) without Xvfb.
command -v Xvfb >/dev/null 2>&1 || { echo "Xvfb is not installed (Debian package xvfb): skipped"; exit 77; }
display=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$display" 2>/dev/null &
trap "kill $!; rm -f '$display'" EXIT
for _ in $(seq 100); do [ -s "$display" ] && break; sleep 0.1; done
[ -s "$display" ] || { echo "Xvfb gave no display within 10 s"; exit 1; }
DISPLAY=":$(head -n1 "$display")" QT_QPA_PLATFORM=xcb "$@"
