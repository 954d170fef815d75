#!/usr/bin/env bash
# Lists the functions in src/, tools/ and sim/ longer than 80 lines (from the line that opens the
# body to the line that closes it) and exits 1 if there are any. A heuristic over braces: blocks
# at namespace level in .cpp files, with comments, strings and character literals set aside;
# classes, enums and initialised tables are not functions.
set -euo pipefail
cd "$(dirname "$0")/.."
exec python3 - "${1:-80}" <<'PY'
import os, re, sys
limit = int(sys.argv[1])
strip = [(re.compile(r'//.*'), ''), (re.compile(r'"(\\.|[^"\\])*"'), '""'), (re.compile(r"'(\\.|[^'\\])*'"), "''")]
found = []
for root, _, names in (walk for top in ('src', 'tools', 'sim') for walk in os.walk(top)):
    for name in sorted(names):
        if not name.endswith('.cpp'):
            continue
        path = os.path.join(root, name)
        lines = open(path, encoding='utf-8', errors='replace').read().split('\n')
        depth = outer = 0
        start = None
        in_comment = False
        for i, raw in enumerate(lines):
            line = raw
            if in_comment:
                if '*/' not in line:
                    continue
                line, in_comment = line.split('*/', 1)[1], False
            line = re.sub(r'/\*.*?\*/', '', line)
            if '/*' in line:
                line, in_comment = line.split('/*', 1)[0], True
            for pattern, repl in strip:
                line = pattern.sub(repl, line)
            for ch in line:
                if ch == '{':
                    if depth == outer and start is None:
                        head = ' '.join(l.strip() for l in lines[max(0, i - 1):i + 1])
                        if re.search(r'\b(namespace|extern "C")\b', raw):
                            outer += 1
                        elif not re.search(r'\b(class|struct|enum|union)\b|=\s*\{?$|=\s*$', head):
                            start = i
                        else:
                            start = -1  # a type or a table: not a function
                            table_depth = depth
                    depth += 1
                elif ch == '}':
                    depth -= 1
                    if start is not None and depth == outer:
                        if start >= 0 and i - start + 1 > limit:
                            j = start
                            while j > 0 and '(' not in lines[j]:
                                j -= 1
                            found.append((i - start + 1, path, j + 1, lines[j].strip()))
                        start = None
                    elif depth < outer:
                        outer = depth

for length, path, line, head in sorted(found, reverse=True):
    print(f'{path}:{line}: {length} lines: {head[:70]}')
sys.exit(1 if found else 0)
PY
