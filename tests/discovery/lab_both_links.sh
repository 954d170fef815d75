#!/usr/bin/env bash
# Inside the lab's pc namespace: one search with the real defaults must find every simulated
# device on both links, each once.
#   lab_both_links.sh TALIXCTL EXPECTED-ON-FIRST-LINK EXPECTED-ON-SECOND-LINK
set -u
talixctl=$1 first=$2 second=$3
out=$("$talixctl" --json discover | python3 -c '
import json, sys
for d in json.load(sys.stdin):
    print(d["name"], d["mac"], d["ip"], sep="\t")') || { echo "discovery failed"; exit 1; }
echo "$out"
on_first=$(printf '%s\n' "$out" | awk -F'\t' '$3 ~ /^198\.18\./' | wc -l)
on_second=$(printf '%s\n' "$out" | awk -F'\t' '$3 ~ /^198\.19\./' | wc -l)
macs=$(printf '%s\n' "$out" | awk -F'\t' 'NF == 3 { print $2 }' | sort | uniq -d | wc -l)
echo "first link: $on_first of $first, second link: $on_second of $second, repeated MACs: $macs"
[ "$on_first" -eq "$first" ] && [ "$on_second" -eq "$second" ] && [ "$macs" -eq 0 ]
