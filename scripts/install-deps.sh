#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, and only those missing.
set -euo pipefail
packages=(
  cmake g++ make pkg-config dpkg-dev lintian
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-qpa-plugins libqt6svg6
  libcli11-dev nlohmann-json3-dev libgtest-dev libbenchmark-dev
  iproute2 xvfb xauth
  clang libclang-rt-14-dev
  ccache
  ansible-core
  python3-venv python3-voluptuous pylint python3-pycodestyle yamllint
)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
