#!/usr/bin/env bash
# install_test.sh BUILD_DIR VERSION LIBDIR CMAKE CPACK
#
# What a developer outside this tree gets: installs the build into a temporary prefix and moves
# the prefix elsewhere (so anything that remembered a path breaks), builds a consumer against it
# with find_package(Velkor) and with pkg-config and runs it, runs the installed host on the
# installed demo, and packs the Debian package and reads it back.
set -euo pipefail

build="$1" version="$2" libdir="$3" cmake="$4" cpack="$5"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source_root="$(cd "$here/../.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

fail() { echo "install test: $*" >&2; exit 1; }
step() { echo "== $*"; }

step "install into a prefix, then move the prefix"
"$cmake" --install "$build" --prefix "$work/staged" >"$work/install.log" || { cat "$work/install.log"; fail "install failed"; }
mv "$work/staged" "$work/prefix"
prefix="$work/prefix"
lib="$prefix/$libdir"
major="${version%%.*}"

for f in bin/velkor-host bin/Velkor.ui bin/Rovanta \
         include/velkor/velkor.h include/velkor/host.h include/velkor/types.h \
         "$libdir/libvelkor.so.$version" "$libdir/libvelkor.so.$major" "$libdir/libvelkor.so" \
         "$libdir/cmake/Velkor/VelkorConfig.cmake" "$libdir/cmake/Velkor/VelkorConfigVersion.cmake" \
         "$libdir/pkgconfig/velkor.pc" share/doc/velkor/README.md share/doc/velkor/docs/scripting.md \
         share/velkor/examples/demo/args share/velkor/examples/demo/vehicles/cart/init.lua; do
  [ -e "$prefix/$f" ] || fail "$f is not installed"
done
# Tests and benchmarks stay in the build.
programs="$(find "$prefix/bin" -mindepth 1 -printf '%f\n' | sort | tr '\n' ' ')"
[ "$programs" = "Rovanta Velkor.ui velkor-host " ] || fail "bin/ holds: $programs"

soname="$(objdump -p "$lib/libvelkor.so.$version" | awk '$1 == "SONAME" { print $2 }')"
[ "$soname" = "libvelkor.so.$major" ] || fail "SONAME is '$soname'"
runpath="$(objdump -p "$prefix/bin/velkor-host" | awk '$1 == "RUNPATH" || $1 == "RPATH" { print $2 }')"
# shellcheck disable=SC2016
[ "$runpath" = '$ORIGIN/../'"$libdir" ] || fail "velkor-host's run path is '$runpath'"
for program in Velkor.ui Rovanta; do
  objdump -p "$prefix/bin/$program" | grep -qE 'RPATH|RUNPATH' && fail "$program carries a run path"
done
# Nothing installed for consumers may name where it was built or first installed.
if grep -rlF -e "$work/staged" -e "$build" -e "$source_root" "$lib/cmake" "$lib/pkgconfig"; then
  fail "the files above name the build or the first prefix"
fi

step "version file"
"$cmake" -DVERSION_FILE="$lib/cmake/Velkor/VelkorConfigVersion.cmake" -DVERSION="$version" \
         -P "$here/package_versions.cmake"

# round NAME PROGRAM: the consumer ran its engine round on the installed library (it prints the
# library file it has loaded; a path through pkg-config's libdir is read as the same file).
round() {
  local out
  out="$(env -u LD_LIBRARY_PATH "$2")" || fail "$1 failed: $out"
  grep -q "^version 1, engine made and destroyed$" <<<"$out" || fail "$1 made no engine: $out"
  local loaded
  loaded="$(sed -n 's/^library //p' <<<"$out")"
  [ -n "$loaded" ] && [ "$(cd "$(dirname "$loaded")" && pwd -P)" = "$(cd "$lib" && pwd -P)" ] \
    || fail "$1 did not load the installed library: $out"
}

step "consumer with find_package(Velkor)"
"$cmake" -S "$here/consumer" -B "$work/consumer" -DCMAKE_PREFIX_PATH="$prefix" >"$work/consumer.log" \
  || { cat "$work/consumer.log"; fail "the consumer does not configure"; }
"$cmake" --build "$work/consumer" >>"$work/consumer.log" 2>&1 || { cat "$work/consumer.log"; fail "the consumer does not build"; }
round "the linked consumer" "$work/consumer/linked_consumer"
round "the loading consumer" "$work/consumer/loading_consumer"

step "consumer with pkg-config"
export PKG_CONFIG_PATH="$lib/pkgconfig"
[ "$(pkg-config --modversion velkor)" = "$version" ] || fail "pkg-config gives version $(pkg-config --modversion velkor)"
pc_libdir="$(pkg-config --variable=libdir velkor)"
[ "$(cd "$pc_libdir" && pwd -P)" = "$(cd "$lib" && pwd -P)" ] || fail "pkg-config's libdir is $pc_libdir"
# shellcheck disable=SC2046
c++ -std=c++11 -Wall -Wextra -Werror $(pkg-config --cflags velkor) -o "$work/pc_consumer" \
    "$here/consumer/linked_consumer.cpp" $(pkg-config --libs velkor) -Wl,-rpath,"$pc_libdir"
round "the pkg-config consumer" "$work/pc_consumer"

step "installed host on the installed demo"
read -r -a demo_args <"$prefix/share/velkor/examples/demo/args"
mkdir "$work/run"
(cd "$work/run" && env -u LD_LIBRARY_PATH LD_DEBUG=files LD_DEBUG_OUTPUT="$work/loader" \
   "$prefix/bin/velkor-host" "${demo_args[@]}" --frames 30 "$prefix/share/velkor/examples/demo") \
   >"$work/host.log" 2>&1 || { cat "$work/host.log"; fail "the installed host failed on the demo"; }
grep -q "^summary: frames 30$" "$work/host.log" || { cat "$work/host.log"; fail "the host's run has no summary"; }
grep -qF "calling init: $prefix/bin/../$libdir/libvelkor.so" "$work"/loader.* \
  || { grep -h velkor "$work"/loader.*; fail "the host did not load the installed library"; }

step "Debian package"
"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" 2>&1 \
  || { cat "$work/cpack.log"; fail "cpack failed"; }
deb="$work/package/velkor_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || { ls "$work/package"; fail "no $(basename "$deb")"; }
dpkg-deb -c "$deb" | awk '{ print $6 }' | sed 's|^\./|/|; s|/$||' >"$work/contents"
for f in /usr/bin/velkor-host /usr/bin/Velkor.ui /usr/bin/Rovanta "/usr/$libdir/libvelkor.so.$version" \
         "/usr/$libdir/libvelkor.so.$major" "/usr/$libdir/libvelkor.so" /usr/include/velkor/velkor.h \
         "/usr/$libdir/cmake/Velkor/VelkorConfig.cmake" "/usr/$libdir/pkgconfig/velkor.pc" \
         /usr/share/velkor/examples/demo/args /usr/share/doc/velkor/README.md; do
  grep -qxF "$f" "$work/contents" || fail "the package lacks $f"
done
for field in Package Version Maintainer Description Depends; do
  [ -n "$(dpkg-deb -f "$deb" "$field")" ] || fail "the package has no $field"
done
[ "$(dpkg-deb -f "$deb" Package)" = velkor ] || fail "package name $(dpkg-deb -f "$deb" Package)"
depends="$(dpkg-deb -f "$deb" Depends)"
# What the binaries link; the Lua runtime is inside the library.
for needed in libc6 libstdc++6 libgcc-s1 libcairo2 libfontconfig1 libtinyobjloader libxxhash0; do
  grep -q "$needed" <<<"$depends" || fail "Depends lacks $needed: $depends"
done
grep -qiE 'luajit|lua-socket|lua5' <<<"$depends" && fail "Depends names the Lua runtime: $depends"
echo "install test passed"
