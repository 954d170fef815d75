#!/usr/bin/env bash
# Lines of test code against lines of product code: non-blank lines that are not whole-line
# comments, in C, C++, shell and Python files tracked by git (fuzz corpora left out).
set -euo pipefail
cd "$(dirname "$0")/.."

count() {
  git ls-files -- "$@" | grep -E '\.(c|cc|cpp|h|hpp|sh|py)$' | grep -v '/corpus/' |
    xargs -r awk '
      FNR == 1 { block = 0 }
      {
        line = $0
        sub(/^[ \t]+/, "", line)
        if (block) { if (line ~ /\*\//) block = 0; next }
        if (line == "") next
        if (line ~ /^\/\//) next
        if (line ~ /^#/ && line !~ /^#(include|define|if|ifdef|ifndef|else|elif|endif|pragma|undef|error)/) next
        if (line ~ /^\/\*/) { if (line !~ /\*\//) block = 1; next }
        n++
      }
      END { print n + 0 }'
}

tests=$(count tests)
code=$(count src sim tools)
ratio=$(awk -v t="$tests" -v c="$code" 'BEGIN { printf "%.2f", (c ? t / c : 0) }')
echo "tests: $tests lines"
echo "code (src, sim, tools): $code lines"
echo "ratio: $ratio"
