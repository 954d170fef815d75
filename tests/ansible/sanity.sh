#!/usr/bin/env bash
# ansible-test sanity over the vant.talix collection, offline. ansible-test wants the collection
# at .../ansible_collections/vant/talix and a virtual environment per test with pinned packages
# fetched by pip; here each environment it asks for is made from Debian's packages instead
# (python3 -m venv --system-site-packages; python3-voluptuous, pylint, python3-pycodestyle,
# yamllint, ansible-core), marked as installed, and kept in CACHE for the next run.
# Usage: sanity.sh COLLECTION_FOLDER CACHE_FOLDER
set -uo pipefail
collection=$1 cache=$2
python=/usr/bin/python3
command -v ansible-test >/dev/null || { echo "ansible-test not found: skipped"; exit 77; }
for module in voluptuous pylint pycodestyle yamllint; do
    "$python" -c "import $module" 2>/dev/null ||
        { echo "$module missing (scripts/install-deps.sh installs it): skipped"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/ansible_collections/vant" "$cache"
cp -r "$collection" "$work/ansible_collections/vant/talix"
rm -rf "$work/ansible_collections/vant/talix/tests/output"
cd "$work/ansible_collections/vant/talix" || exit 1
# Everything ansible-test keeps (~/.ansible/test) goes to the cache, not the user's home.
export HOME=$cache ANSIBLE_TEST_PREFER_PODMAN= LC_ALL=C.UTF-8
run() { ansible-test sanity --python-interpreter "$python" --color no "$@" 2>&1; }

# Each run of --prime-venvs stops at the first environment pip would have to fill.
for _ in $(seq 30); do
    out=$(run --prime-venvs)
    venv=$(sed -n 's/.*at "\(.*\)\/bin\/python" does not have pip available.*/\1/p' <<<"$out")
    [ -z "$venv" ] && break
    rm -rf "$venv"
    "$python" -m venv --system-site-packages --without-pip "$venv" || exit 1
    echo '[]' >"$venv/meta.install.json"
    "$venv/bin/python" -c 'import yaml; print("true" if hasattr(yaml, "CLoader") else "false")' >"$venv/meta.yaml.json"
    touch "$venv/marker.txt"
done
grep -q 'FATAL' <<<"$out" && { echo "$out"; echo "FAIL: the test environments could not be made"; exit 1; }

out=$(run)
status=$?
grep -v '^Running sanity test' <<<"$out"
[ $status -eq 0 ] || { echo "FAIL: ansible-test sanity"; exit 1; }
echo "ansible_sanity: passed"
