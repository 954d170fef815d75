#!/usr/bin/env bash
# The vant.talix collection run by ansible-playbook against two simulated sites on loopback:
# the example playbook in check mode (nothing sent), then for real (changed), then again
# (changed=0); firmware updated on the old bridge only; then one play per behaviour.
# Usage: run.sh TALIXCTL TALIX_SIM ANSIBLE_FOLDER
set -uo pipefail
command -v ansible-playbook >/dev/null || { echo "ansible-playbook not found: skipped"; exit 77; }
talixctl=$1 sim=$2 ansible_dir=$3
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

mkdir -p "$work/bin" "$work/collections/ansible_collections/vant" "$work/updates" "$work/tmp"
ln -s "$ansible_dir/vant/talix" "$work/collections/ansible_collections/vant/talix"
ln -s "$talixctl" "$work/bin/talixctl"
export PATH="$work/bin:$PATH" ANSIBLE_COLLECTIONS_PATH="$work/collections" ANSIBLE_NOCOLOR=1 \
    ANSIBLE_LOCAL_TEMP="$work/tmp" ANSIBLE_REMOTE_TEMP="$work/tmp" ANSIBLE_CONFIG="$work/none.cfg"
cd "$work"

# Site a: a bridge one firmware behind the update file and one already at it; site b: two
# bridges of the simulator's usual mix. Each simulator takes a free port and logs its traffic.
echo '{"devices": [{"preset": "login", "firmware": "1.0.17"}, {"preset": "login", "firmware": "1.0.18"}]}' >a.json
"$sim" --fleet a.json --port 0 --restart-time 50 --erase-time 50 -v >a.log 2>&1 &
pids+=($!)
"$sim" --devices 2 --port 0 >b.log 2>&1 &
pids+=($!)
sim_port() {
    for _ in $(seq 100); do grep -q '^Listening on' "$1" && break; sleep 0.1; done
    sed -n 's/^Listening on [0-9.]*:\([0-9]*\) .*/\1/p' "$1"
}
port_a=$(sim_port a.log) port_b=$(sim_port b.log)
[ -n "$port_a" ] && [ -n "$port_b" ] || fail "a simulator did not start"

# Firmware 1.0.17 and 1.0.18 that the simulated bridges take.
for v in 17 18; do "$sim" --write-update "$work/updates/FIRM10$v.bin" --update-version 1.0.$v --update-size 256 >/dev/null; done

export TALIX_PORT_A=$port_a TALIX_PORT_B=$port_b TALIX_WORK=$work
playbook() { ansible-playbook -i "$here/inventory.yml" -c local "$@" >play.log 2>&1; }
# The recap's count of changed tasks at a site.
changed() { sed -n "s/^$1 .*changed=\([0-9]*\).*/\1/p" play.log; }
# Commands to the bridges of site a seen by its simulator: XS save, XP program (erase E7).
sent() { grep -c "^<- .* from .* $1" a.log; }

playbook --check --diff "$ansible_dir/examples/site.yml" && [ "$(changed site_a)" -eq 2 ] &&
    grep -q '"NetName": "Pump house"' play.log && grep -q '^+FirmVer: 1.0.18' play.log ||
    { cat play.log; fail "check mode did not report what would change"; }
playbook "$ansible_dir/examples/site.yml" && [ "$(changed site_a)" -eq 2 ] && [ "$(changed site_b)" -eq 1 ] ||
    { cat play.log; fail "the first run did not change the settings and firmware of a and the settings of b"; }
playbook "$ansible_dir/examples/site.yml" && [ "$(changed site_a)" -eq 0 ] && [ "$(changed site_b)" -eq 0 ] ||
    { cat play.log; fail "the second run changed something"; }
# Check mode sent nothing: one save per bridge and one erase were sent in all three runs.
for _ in $(seq 50); do [ "$(sent '58 50 e7')" -ge 1 ] && [ "$(sent '58 53 ')" -ge 2 ] && break; sleep 0.1; done
[ "$(sent '58 53 ')" -eq 2 ] && [ "$(sent '58 50 e7')" -eq 1 ] ||
    fail "expected 2 saves and 1 erase, the simulator saw $(sent '58 53 ') and $(sent '58 50 e7')"

# One play per behaviour, at site a.
for play in cases failures backup firmware; do
    playbook -l site_a "$here/$play.yml" || { cat play.log; fail "$play.yml"; }
done
# A password change: its value appears nowhere in what ansible-playbook prints, even at -vvv.
secret='Horse-Battery-41'
playbook -l site_a --diff -vvv -e "secret=$secret" "$here/secrets.yml" || { cat play.log; fail "secrets.yml"; }
! grep -n -- "$secret" play.log || fail "the password was printed"
talixctl --port "$port_a" --local-port 0 --broadcast 127.255.255.255 --json read 127.0.0.2 |
    grep -q "\"Password\": \"$secret\"" || fail "the password was not set"
echo "ansible_talix: passed"
