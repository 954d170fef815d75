#!/usr/bin/env bash
# check_package.sh BUILD VERSION HOST_SOURCES BUILT_FILES...
# Unpacks BUILD/brevion_VERSION_*.deb into a temporary root and checks it from there.
set -uo pipefail
build=$1 version=$2 host_src=$3
shift 3

debs=("$build"/brevion_"$version"_*.deb)
deb=${debs[0]}
if [ ! -f "$deb" ]; then
  echo "SKIPPED: no $build/brevion_${version}_*.deb; 'make package' builds it ('make check' does first)"
  exit 77
fi
for built in "$@"; do
  if [ "$built" -nt "$deb" ]; then
    echo "SKIPPED: $deb is older than $built; 'make package' brings it up to date"
    exit 77
  fi
done

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

dpkg-deb -x "$deb" "$root" || { echo "FAIL: dpkg-deb -x $deb"; exit 1; }
usr=$root/usr
libdir=$(dirname "$(find "$usr/lib" -name "libbrevion.so.$version" | head -n 1)")
[ -f "$libdir/libbrevion.so.$version" ] || { echo "FAIL: no libbrevion.so.$version"; exit 1; }

# Layout: programs, the library and its links, the public headers, the package files for hosts,
# the menu entry with its icon, the metainfo and the manual pages.
major=${version%%.*}
for path in \
  "$usr/bin/brevion" "$usr/bin/talixctl" "$usr/bin/talix-sim" \
  "$libdir/libbrevion.so.$major" "$libdir/libbrevion.so" \
  "$usr/include/brevion/brevion.h" "$usr/include/brevion/nxconfig.h" \
  "$usr/include/brevion/brevion_export.h" "$usr/include/brevion/version.h" \
  "$libdir/cmake/Brevion/BrevionConfig.cmake" "$libdir/cmake/Brevion/BrevionConfigVersion.cmake" \
  "$libdir/pkgconfig/brevion.pc" \
  "$usr/share/applications/brevion.desktop" "$usr/share/icons/hicolor/scalable/apps/brevion.svg" \
  "$usr/share/metainfo/io.brevion.Brevion.metainfo.xml" \
  "$usr/share/man/man1/brevion.1" "$usr/share/man/man1/talixctl.1" "$usr/share/man/man1/talix-sim.1"
do
  [ -e "$path" ] || fail "missing ${path#"$root"}"
done
soname=$(objdump -p "$libdir/libbrevion.so.$version" | awk '$1 == "SONAME" { print $2 }')
[ "$soname" = "libbrevion.so.$major" ] || fail "SONAME is '$soname', not libbrevion.so.$major"
# The menu icon is square: the hicolor scalable folder holds square icons only.
icon=$usr/share/icons/hicolor/scalable/apps/brevion.svg
viewbox=$(grep -o 'viewBox="[^"]*"' "$icon" | head -n 1 | tr -d '"' | cut -d= -f2)
read -r _ _ w h <<<"$viewbox"
[ -n "$w" ] && [ "$w" = "$h" ] || fail "the menu icon's viewBox '$viewbox' is not square"

# Dependencies: the linked libraries, and the plugins Qt loads at run time.
depends=$(dpkg-deb -f "$deb" Depends)
for dep in libqt6widgets6 libqt6network6 libqt6svg6 qt6-qpa-plugins libc6; do
  grep -qE "(^|, )$dep( |,|$)" <<<"$depends" || fail "Depends lacks $dep: $depends"
done

# The programs run from the unpacked root; brevion finds the packaged library by itself.
out=$("$usr/bin/talixctl" --version 2>&1) || fail "talixctl --version: $out"
grep -qF "$version" <<<"$out" || fail "talixctl --version says '$out', not $version"
out=$("$usr/bin/talix-sim" --help 2>&1) || fail "talix-sim --help: $out"
grep -q -- "--devices" <<<"$out" || fail "talix-sim --help lists no --devices: $out"
resolved=$(ldd "$usr/bin/brevion" | awk '/libbrevion/ { print $3 }')
[[ "$resolved" == "$root"/* ]] || fail "brevion loads libbrevion from '$resolved', not the package"
out=$("$usr/bin/brevion" --help 2>&1) || fail "brevion --help: $out"

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
export PKG_CONFIG_PATH=$libdir/pkgconfig
[ "$(pkg-config --modversion brevion)" = "$version" ] || fail "pkg-config --modversion brevion"
flags=$(pkg-config --cflags --libs brevion)
if g++ -std=c++17 -o "$root/host_pc" "$host_src/host.cpp" $flags 2>"$root/host-pc.log"; then
  out=$(LD_LIBRARY_PATH=$libdir "$root/host_pc" 2>&1)
  [ "$out" = "$expected" ] || fail "pkg-config host printed '$out', not '$expected'"
else
  cat "$root/host-pc.log"; fail "a host does not build with pkg-config ($flags)"
fi

[ "$failures" -eq 0 ] && echo "OK: $deb" && exit 0
exit 1
