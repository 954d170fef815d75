#!/usr/bin/env bash
# Runs in the lab's pc namespace (tests/lab/lab.sh): talixctl with the real defaults, port 2362
# at both ends and discovery to 255.255.255.255, against the simulated devices next door.
# usage: lab_talixctl.sh TALIXCTL
set -u
ctl=$1

found=$("$ctl" discover --json) || { echo "discover failed"; exit 1; }
count=$(grep -c '"mac"' <<<"$found")
if [ "$count" != "$LAB_DEV_COUNT" ]; then
    echo "discover listed $count of $LAB_DEV_COUNT devices:"; echo "$found"; exit 1
fi
grep -q "\"ip\": \"$LAB_DEV_FIRST\"" <<<"$found" || { echo "no device at $LAB_DEV_FIRST:"; echo "$found"; exit 1; }

settings=$("$ctl" read "$LAB_DEV_FIRST") || { echo "read failed"; exit 1; }
grep -q "^IP Address: *$LAB_DEV_FIRST\$" <<<"$settings" || { echo "read:"; echo "$settings"; exit 1; }
echo "talixctl found $count devices and read $LAB_DEV_FIRST"
