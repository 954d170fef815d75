#!/usr/bin/env bash
# Plants each fault of scripts/mutants.list in turn, builds only the targets it names, runs only
# the tests it names, and records whether a test failed (caught) and which. The source file is
# put back after every mutant, also on Ctrl-C. Not part of make check or CI: it takes a while.
#   scripts/mutants.sh [name-regex]     results in build/mutants.txt
#   SKIP=regex leaves those mutants out; APPEND=1 adds to the results instead of starting afresh.
set -uo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
FILTER=${1:-.}
OUT=$BUILD/mutants.txt
BACKUP=$BUILD/mutant.backup
CURRENT=""

restore() {
    if [[ -n $CURRENT && -f $BACKUP ]]; then
        cat "$BACKUP" >"$CURRENT" # a new time stamp: the next build compiles the original again
        rm -f "$BACKUP"
    fi
    CURRENT=""
}
trap restore EXIT
trap 'restore; exit 130' INT TERM

known_targets=$(cmake --build "$BUILD" --target help | sed -n 's/^\.\.\. \([^ ]*\).*/\1/p')
[[ ${APPEND:-0} == 1 ]] || : >"$OUT"
caught=0 missed=0 invalid=0
built=()

m() {
    local name=$1 file=$2 expr=$3 targets=$4 regex=$5
    [[ $name =~ $FILTER ]] || return 0
    [[ -n ${SKIP:-} && $name =~ $SKIP ]] && return 0
    local changed
    changed=$(diff <(cat "$file") <(sed -e "$expr" "$file") | grep -c '^<')
    if [[ $changed != 1 ]]; then
        echo "$name: INVALID (the substitution changes $changed lines of $file)" | tee -a "$OUT"
        invalid=$((invalid + 1))
        return 0
    fi
    local present=()
    for t in $targets; do grep -qx "$t" <<<"$known_targets" && present+=("$t"); done
    built+=("${present[@]}")
    cp "$file" "$BACKUP"
    CURRENT=$file
    sed -i -e "$expr" "$file"
    local result
    if ! cmake --build "$BUILD" -j2 --target "${present[@]}" >"$BUILD/mutant-build.log" 2>&1; then
        result="INVALID (does not build)"
        invalid=$((invalid + 1))
    else
        local log failed
        log=$(cd "$BUILD" && QT_QPA_PLATFORM=offscreen ctest -R "$regex" --timeout 300 2>&1)
        failed=$(sed -n 's/^[[:space:]]*[0-9]* - \([^ ]*\) (.*/\1/p' <<<"$log" | sort -u | paste -sd' ')
        if grep -q 'No tests were found' <<<"$log"; then
            result="INVALID (no test matches $regex)"
            invalid=$((invalid + 1))
        elif [[ -n $failed ]]; then
            result="caught by $failed"
            caught=$((caught + 1))
        else
            result="MISSED ($(grep -c 'Test *#' <<<"$log") tests ran)"
            missed=$((missed + 1))
        fi
    fi
    restore
    echo "$name: $result" | tee -a "$OUT"
}

# shellcheck source=mutants.list
source scripts/mutants.list

echo "caught $caught, missed $missed, invalid $invalid" | tee -a "$OUT"
# Leave the build as the sources are.
((${#built[@]})) && cmake --build "$BUILD" -j2 --target $(printf '%s\n' "${built[@]}" | sort -u) >/dev/null 2>&1
[[ $missed == 0 && $invalid == 0 ]]
