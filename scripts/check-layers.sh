#!/usr/bin/env bash
# The layers, from the include lines and the link lines. A file in src/ includes headers of its
# own layer or of layers below it, always rooted at src/ ("engine/devicelink.h"); a target in
# src/ links only targets of its own layer (defined before it) or of layers below. sim/ is the
# device model over the byte layouts; the tools may not reach into the windows. Everywhere else
# (tools, tests, bench) a header of src/ or sim/ is included by its rooted name too.
set -euo pipefail
cd "$(dirname "$0")/.."
exec python3 - <<'PY'
import os, re, sys

ORDER = ['wire', 'common', 'rules', 'ui', 'discovery', 'config', 'update', 'engine', 'gui', 'entry']
RANK = {layer: n for n, layer in enumerate(ORDER)}
# Outside src/: what each folder may include from src/ and sim/.
ALLOWED = {'sim': {'wire', 'common', 'sim'},
           'tools/talixctl': set(ORDER) - {'gui', 'entry'},
           'tools/talix-sim': {'wire', 'common', 'sim'},
           'tools/brevion': {'common', 'entry', 'sim'}}
# The public headers are installed side by side and include one another by bare name.
PUBLIC = {'src/entry/nxconfig.h', 'src/entry/brevion.h'}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)

def files(top):
    for root, _, names in os.walk(top):
        for name in sorted(names):
            if name.endswith(('.h', '.cpp', '.c')):
                yield os.path.join(root, name)

known = {os.path.relpath(p, 'src') for p in files('src')} | set(files('sim'))
bare = {os.path.basename(p): p for p in known}
faults = []
for top in ['src', 'sim', 'tools', 'tests', 'bench']:
    for path in files(top):
        folder = os.path.dirname(path)
        own = path.split('/')[1] if top == 'src' else None
        allowed = next((v for k, v in ALLOWED.items() if path.startswith(k + '/')), None)
        for target in INCLUDE.findall(open(path, encoding='utf-8').read()):
            if target.endswith('.moc'):
                continue
            if '/' not in target:
                if top == 'src' and not (path in PUBLIC and os.path.exists(os.path.join(folder, target))
                                         or path in PUBLIC and target == 'version.h'):
                    faults.append(f'{path}: "{target}" is not rooted at src/')
                elif top != 'src' and target in bare and not os.path.exists(os.path.join(folder, target)):
                    faults.append(f'{path}: "{target}" is not rooted: "{bare[target]}"')
                continue
            layer = target.split('/')[0]
            if target not in known:
                if top == 'src' or layer in RANK or layer == 'sim':
                    faults.append(f'{path}: "{target}" is no header of src/ or sim/')
            elif own and layer in RANK and RANK[layer] > RANK[own]:
                faults.append(f'{path}: {own} includes "{target}", a layer above it')
            elif allowed is not None and layer not in allowed:
                faults.append(f'{path}: "{target}" is out of reach of {os.path.dirname(path)}')

# The link lines: each target's layer is the folder that defines it; sim and tools come after.
defined, links = {}, []
for layer in ORDER:
    text = open(f'src/{layer}/CMakeLists.txt', encoding='utf-8').read()
    for name in re.findall(r'add_library\((\w+)', text):
        defined[name] = (RANK[layer], len(defined))
    for name, body in re.findall(r'target_link_libraries\((\w+)([^)]*)\)', text):
        links.append((name, re.findall(r'\b(brevion_\w+|talix_sim)\b', body)))
for name, deps in links:
    for dep in deps:
        if dep != 'brevion_build_flags' and (dep not in defined or defined[dep][1] > defined[name][1]):
            faults.append(f'{name} links {dep}, which is not listed before it')

for path in ['tools/talixctl/CMakeLists.txt', 'tools/talix-sim/CMakeLists.txt']:
    for name, body in re.findall(r'target_link_libraries\((\S+)([^)]*)\)', open(path, encoding='utf-8').read()):
        for dep in re.findall(r'\b(brevion_gui|brevion_ui|brevion_entry|brevion)\b', body):
            faults.append(f'{name} links {dep}: the windows are out of reach of {os.path.dirname(path)}')

print('\n'.join(faults) if faults else 'layers: every include and link points down')
sys.exit(1 if faults else 0)
PY
