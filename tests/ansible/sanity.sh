#!/usr/bin/env bash
# ansible-test sanity over the vant.talix collection, offline. ansible-test wants the collection
# at .../ansible_collections/vant/talix and a virtual environment per test with pinned packages
# fetched by pip; here each environment it asks for is made from Debian's packages instead
# (python3 -m venv --system-site-packages; python3-voluptuous, pylint, python3-pycodestyle,
# yamllint, ansible-core), marked as installed, and kept in CACHE for the next run.
# Usage: sanity.sh COLLECTION_FOLDER CACHE_FOLDER
set -uo pipefail
collection=$1 cache=$2 python=/usr/bin/python3
command -v ansible-test >/dev/null && "$python" -c 'import voluptuous, pylint, pycodestyle, yamllint' 2>/dev/null ||
    { echo "ansible-test, python3-voluptuous, pylint, python3-pycodestyle or yamllint missing: skipped"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/ansible_collections/vant" "$cache"
cp -r "$collection" "$work/ansible_collections/vant/talix" && cd "$work/ansible_collections/vant/talix" || exit 1
# Everything ansible-test keeps (~/.ansible/test) goes to the cache, not the user's home.
export HOME=$cache LC_ALL=C.UTF-8
run() { ansible-test sanity --python-interpreter "$python" --color no "$@" 2>&1; }
# Each run of --prime-venvs stops at the first environment pip would have to fill.
for _ in $(seq 30); do
    venv=$(run --prime-venvs | sed -n 's/.*at "\(.*\)\/bin\/python" does not have pip available.*/\1/p')
    [ -z "$venv" ] && break
    rm -rf "$venv" && "$python" -m venv --system-site-packages --without-pip "$venv" || exit 1
    echo '[]' >"$venv/meta.install.json" && echo true >"$venv/meta.yaml.json" && touch "$venv/marker.txt"
done
run | grep -v '^Running sanity test'
[ "${PIPESTATUS[0]}" -eq 0 ] || { echo "FAIL: ansible-test sanity"; exit 1; }
echo "ansible_sanity: passed"
