#!/usr/bin/env bash
# check_package.sh BUILD VERSION HOST_SOURCES BUILT_FILES...
# Checks the Debian packages BUILD/{brevion,libbrevion1,libbrevion-dev}_VERSION-*.deb: lintian, what
# each holds and depends on, and, unpacked together into a temporary root, the programs and host
# programs built against them.
set -uo pipefail
build=$1 version=$2 host_src=$3
shift 3

packages=(brevion libbrevion1 libbrevion-dev)
declare -A deb
for p in "${packages[@]}"; do
  found=("$build/${p}_${version}"-*_*.deb)
  deb[$p]=${found[0]}
  [ -f "${deb[$p]}" ] || { echo "SKIPPED: no ${deb[$p]}; 'make package' builds it ('make check' does first)"; exit 77; }
  for built in "$@"; do
    [ "$built" -nt "${deb[$p]}" ] && { echo "SKIPPED: ${deb[$p]} is older than $built; 'make package' renews it"; exit 77; }
  done
done

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Debian's own checker (which 'make deps' installs): no error, no warning but those overridden in
# packaging/lintian-overrides.
out=$(lintian --fail-on error,warning "${deb[@]}" 2>&1) || fail "lintian: $out"

# What lintian cannot know: each file in its package (the programs and what the menu and
# bash-completion find in brevion, the library in libbrevion1, what hosts build with in
# libbrevion-dev), and the dependencies that are named by hand.
libdir=lib/$(gcc -print-multiarch)
debversion=$(dpkg-deb -f "${deb[brevion]}" Version)
while read -r p want; do
  if [[ $want == /* ]]; then
    dpkg-deb --fsys-tarfile "${deb[$p]}" | tar -t | grep -xF ".$want" >/dev/null
  else
    dpkg-deb -f "${deb[$p]}" Depends | grep -E "(^|, )$want( |,|$)" >/dev/null
  fi || fail "$p lacks $want"
done <<EOF
brevion /usr/share/applications/brevion.desktop
brevion /usr/share/metainfo/io.brevion.Brevion.metainfo.xml
brevion /usr/share/bash-completion/completions/talixctl
libbrevion-dev /usr/$libdir/libbrevion.so
libbrevion-dev /usr/include/brevion/nxconfig.h
brevion libbrevion1 \(= $debversion\)
libbrevion-dev libbrevion1 \(= $debversion\)
libbrevion1 libqt6svg6
libbrevion1 qt6-qpa-plugins
EOF

for p in "${packages[@]}"; do
  dpkg-deb -x "${deb[$p]}" "$root" || { echo "FAIL: dpkg-deb -x ${deb[$p]}"; exit 1; }
done
usr=$root/usr
zcat "$usr/share/doc/brevion/changelog.Debian.gz" | sed -n 1p | grep -F "($debversion)" >/dev/null ||
  fail "packaging/changelog has no entry for $debversion"
# The menu icon is square: the hicolor scalable folder holds square icons only.
read -r _ _ w h < <(grep -o 'viewBox="[^"]*"' "$usr/share/icons/hicolor/scalable/apps/brevion.svg" |
  head -n 1 | tr -d '"' | cut -d= -f2)
[ -n "$w" ] && [ "$w" = "$h" ] || fail "the menu icon is not square: $w x $h"

# The programs run from the unpacked root; brevion finds the packaged library by itself.
"$usr/bin/talixctl" --version 2>&1 | grep -F "$version" >/dev/null || fail "talixctl --version, not $version"
"$usr/bin/talix-sim" --help 2>&1 | grep -- --devices >/dev/null || fail "talix-sim --help lists no --devices"
resolved=$(ldd "$usr/bin/brevion" | awk '/libbrevion/ { print $3 }')
[[ "$resolved" == "$root"/* ]] || fail "brevion loads libbrevion from '$resolved', not the package"
out=$("$usr/bin/brevion" --help 2>&1) || fail "brevion --help: $out"
# libbrevion exports NxConfig, ConfigureNetwork and the C interface, and nothing of its insides.
extra=$(nm -D --defined-only "$usr/$libdir/libbrevion.so.1" | awk '$2 ~ /^[TDBVWR]$/ { print $3 }' | c++filt |
  grep -vE '^(brevion_[a-z]+|brevion::(NxConfig::|ConfigureNetwork\()|typeinfo|_edata$|_end$|__bss_start$)') &&
  fail "libbrevion exports more than its interface: $(echo "$extra" | head -n 3 | tr '\n' ' ')"

# Host programs against the unpacked tree: CMake package and pkg-config file.
expected="Brevion.NxConfig $version"
hostbuild=$root/host-cmake
if cmake -S "$host_src" -B "$hostbuild" -DCMAKE_PREFIX_PATH="$usr" -DCMAKE_BUILD_TYPE=Release \
     >"$root/host-cmake.log" 2>&1 && cmake --build "$hostbuild" >>"$root/host-cmake.log" 2>&1; then
  for host in host_c host_cxx; do
    out=$("$hostbuild/$host" 2>&1)
    [ "$out" = "$expected" ] || fail "find_package host $host printed '$out', not '$expected'"
  done
else
  cat "$root/host-cmake.log"; fail "a host does not build with find_package(Brevion)"
fi
export PKG_CONFIG_PATH=$usr/$libdir/pkgconfig
flags=$(pkg-config --cflags --libs brevion)
if g++ -std=c++17 -o "$root/host_pc" "$host_src/host.cpp" $flags 2>"$root/host-pc.log"; then
  out=$(LD_LIBRARY_PATH=$usr/$libdir "$root/host_pc" 2>&1)
  [ "$out" = "$expected" ] || fail "pkg-config host printed '$out', not '$expected'"
else
  cat "$root/host-pc.log"; fail "a host does not build with pkg-config ($flags)"
fi

[ "$failures" -eq 0 ] && echo "OK: ${deb[*]}" && exit 0
exit 1
