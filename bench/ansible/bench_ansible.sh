#!/usr/bin/env bash
# One talix_settings task (the site form) configuring N simulated bridges on loopback, against
# the same plan applied by talixctl alone, side by side in one run: for each round, an empty play
# (Ansible's own start), one `talixctl apply` of a plan that changes every bridge, and the play
# with one talix_settings task whose plan changes every bridge again. The goal: the play takes no
# more than the empty play + 3 x the apply + 1 s. Prints each round and the medians, and once
# the same plan by the per-bridge loop form for comparison.
# Usage: bench_ansible.sh BUILD_FOLDER [bridges (20)] [rounds (3)]
set -uo pipefail
build=$(realpath "$1") bridges=${2:-20} rounds=${3:-3}
root=$(cd "$(dirname "$0")/../.." && pwd)
talixctl=$build/tools/talixctl/talixctl sim=$build/tools/talix-sim/talix-sim
command -v ansible-playbook >/dev/null || { echo "ansible-playbook not found: skipped"; exit 0; }
[ -x "$talixctl" ] && [ -x "$sim" ] || { echo "talixctl or talix-sim not built in $build: skipped"; exit 0; }
work=$(mktemp -d)
sim_pid=
cleanup() {
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/collections/ansible_collections/vant" "$work/bin" "$work/tmp"
ln -s "$root/ansible/vant/talix" "$work/collections/ansible_collections/vant/talix"
ln -s "$talixctl" "$work/bin/talixctl"
export PATH="$work/bin:$PATH" ANSIBLE_COLLECTIONS_PATH="$work/collections" ANSIBLE_NOCOLOR=1 \
    ANSIBLE_LOCAL_TEMP="$work/tmp" ANSIBLE_REMOTE_TEMP="$work/tmp" ANSIBLE_CONFIG="$work/none.cfg"
cd "$work" || exit 1

# The bridges answer at 127.0.0.2 and up, on a port the simulator picks; the search goes to
# 127.255.255.255 only.
"$sim" --devices "$bridges" --port 0 >sim.log 2>&1 &
sim_pid=$!
for _ in $(seq 100); do
    port=$(sed -n 's/^Listening on [0-9.]*:\([0-9]*\) .*/\1/p' sim.log)
    [ -n "$port" ] && break
    sleep 0.1
done
[ -n "$port" ] || { cat sim.log; echo "the simulator did not start"; exit 1; }

# plan NAME: every bridge renamed "NAME <n>", as JSON.
plan() {
    local entries=() n
    for ((n = 0; n < bridges; n++)); do
        entries+=("$(printf '"0050C25A3%03X": {"NetName": "%s %d"}' "$n" "$1" "$n")")
    done
    local IFS=,
    echo "{\"devices\": {${entries[*]}}}"
}
cat >inventory.yml <<EOF
all:
  hosts:
    site: {ansible_connection: local, ansible_python_interpreter: "{{ ansible_playbook_python }}"}
EOF
cat >empty.yml <<EOF
- {name: Empty, hosts: all, gather_facts: false, tasks: []}
EOF
cat >site.yml <<EOF
- name: One task for the whole site
  hosts: all
  gather_facts: false
  tasks:
    - vant.talix.talix_settings:
        devices: "{{ lookup('file', 'plan.json') | from_json }}"
        port: $port
        local_port: 0
        broadcast: 127.255.255.255
      register: site
    - ansible.builtin.assert:
        that: site.devices | selectattr('result', 'eq', 'changed') | list | length == $bridges
        quiet: true
EOF
calc() { awk "BEGIN { print $1 }"; }
cat >loop.yml <<EOF
- name: One task per bridge, as the collection's loop form does it
  hosts: all
  gather_facts: false
  tasks:
    - vant.talix.talix_settings:
        mac: "{{ item.key }}"
        settings: "{{ item.value }}"
        port: $port
        local_port: 0
        broadcast: 127.255.255.255
      loop: "{{ lookup('file', 'plan.json') | from_json | dict2items }}"
EOF
seconds() { local t0 t1; t0=$(date +%s.%N); "$@" >>run.log 2>&1 || { tail -30 run.log; echo "failed: $*"; exit 1; }
    t1=$(date +%s.%N); calc "$t1 - $t0"; }

echo "$bridges simulated bridges on loopback, $rounds rounds; load before: $(uptime | sed 's/.*load average: //')"
printf '%-6s %10s %10s %12s %10s\n' round empty apply talix_settings bound
empty=() apply=() play=()
for ((r = 1; r <= rounds; r++)); do
    plan "Apply $r" >apply.json
    plan "Play $r" | python3 -c 'import json, sys; print(json.dumps(json.load(sys.stdin)["devices"]))' >plan.json
    e=$(seconds ansible-playbook -i inventory.yml empty.yml)
    a=$(seconds talixctl --port "$port" --local-port 0 --broadcast 127.255.255.255 --json apply apply.json)
    p=$(seconds ansible-playbook -i inventory.yml site.yml)
    empty+=("$e") apply+=("$a") play+=("$p")
    printf '%-6s %9.2fs %9.2fs %11.2fs %9.2fs\n' "$r" "$e" "$a" "$p" "$(calc "$e + 3 * $a + 1")"
done
plan "Loop" | python3 -c 'import json, sys; print(json.dumps(json.load(sys.stdin)["devices"]))' >plan.json
printf 'the same plan by the per-bridge loop form (%d tasks), once: %.2fs\n' "$bridges" "$(seconds ansible-playbook -i inventory.yml loop.yml)"
median() { printf '%s\n' "$@" | sort -g | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
me=$(median "${empty[@]}") ma=$(median "${apply[@]}") mp=$(median "${play[@]}")
bound=$(calc "$me + 3 * $ma + 1")
printf '%-6s %9.2fs %9.2fs %11.2fs %9.2fs\n' median "$me" "$ma" "$mp" "$bound"
echo "load after: $(uptime | sed 's/.*load average: //')"
if [ "$(calc "$mp <= $bound")" -eq 1 ]; then
    printf 'talix_settings, %d bridges in one task: %.2f s <= %.2f s — met\n' "$bridges" "$mp" "$bound"
else
    printf 'talix_settings, %d bridges in one task: %.2f s > %.2f s — NOT met\n' "$bridges" "$mp" "$bound"
    exit 1
fi
