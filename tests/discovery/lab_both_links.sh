#!/usr/bin/env bash
# Inside the lab's pc namespace: one search of talixctl with the real defaults must find every
# simulated device on both links, each once.
#   lab_both_links.sh TALIXCTL EXPECTED-ON-FIRST-LINK EXPECTED-ON-SECOND-LINK
set -u
out=$("$1" --json discover) || { echo "talixctl discover failed"; exit 1; }
echo "$out"
on_first=$(grep -cE '"ip": ?"198\.18\.' <<<"$out")
on_second=$(grep -cE '"ip": ?"198\.19\.' <<<"$out")
macs=$(grep -oE '"mac": ?"[^"]*"' <<<"$out" | sort | uniq -d | wc -l)
echo "first link: $on_first of $2, second link: $on_second of $3, repeated MACs: $macs"
[ "$on_first" -eq "$2" ] && [ "$on_second" -eq "$3" ] && [ "$macs" -eq 0 ]
