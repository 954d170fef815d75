#!/usr/bin/env bash
# Runs in the lab's pc namespace (tests/lab/lab.sh): talixctl with the real defaults, port 2362
# at both ends and discovery to 255.255.255.255, against the simulated devices next door.
# usage: lab_talixctl.sh TALIXCTL
set -u
fail() { echo "$1"; echo "$2"; exit 1; }
found=$("$1" discover --json) || fail "discover failed" ""
count=$(grep -c '"mac"' <<<"$found")
{ [ "$count" = "$LAB_DEV_COUNT" ] && grep -q "\"ip\": \"$LAB_DEV_FIRST\"" <<<"$found"; } ||
    fail "discover listed $count of $LAB_DEV_COUNT devices, $LAB_DEV_FIRST among them?" "$found"
settings=$("$1" read "$LAB_DEV_FIRST") && grep -q "^IP Address: *$LAB_DEV_FIRST\$" <<<"$settings" || fail "read:" "$settings"
echo "talixctl found $count devices and read $LAB_DEV_FIRST"
