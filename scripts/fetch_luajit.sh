#!/usr/bin/env bash
# Fetches the source of Debian's LuaJIT package into build-deps/luajit, where CMake builds the
# library's own copy of the runtime from it (static, position-independent, without FFI or trace
# compiler, its C runtime calls bound to the sandbox). The system's apt configuration is left
# alone: the source entries live in a private folder next to the result. Does nothing when the
# wanted version is already there.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# The version the library is built and tested with: Debian 12's package.
VERSION="${VELKOR_LUAJIT_VERSION:-2.1.0~beta3+git20220320+dfsg-4.1+deb12u1}"
DEST="$ROOT/build-deps/luajit"
STAMP="$DEST/.velkor-source-version"

if [ -f "$STAMP" ] && [ "$(cat "$STAMP")" = "$VERSION" ] && [ -f "$DEST/src/Makefile" ]; then
  exit 0
fi
command -v dpkg-source >/dev/null || { echo "fetch_luajit: dpkg-source (package dpkg-dev) is needed" >&2; exit 1; }

WORK="$ROOT/build-deps/luajit-fetch"
rm -rf "$WORK"
mkdir -p "$WORK/parts" "$WORK/lists/partial" "$WORK/cache/archives/partial" "$WORK/out"
cat >"$WORK/parts/src.sources" <<'EOF'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
OPTS=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$WORK/parts"
      -o "Dir::State::Lists=$WORK/lists" -o "Dir::Cache=$WORK/cache" -o APT::Sandbox::User=root)
echo "fetching the source of luajit $VERSION"
apt-get "${OPTS[@]}" -qq update
(cd "$WORK/out" && apt-get "${OPTS[@]}" -qq source "luajit=$VERSION" >/dev/null)

tree="$(find "$WORK/out" -mindepth 1 -maxdepth 1 -type d -name 'luajit-*' | head -n 1)"
[ -n "$tree" ] && [ -f "$tree/src/Makefile" ] || { echo "fetch_luajit: no source tree unpacked" >&2; exit 1; }
rm -rf "$DEST"
mv "$tree" "$DEST"
echo "$VERSION" >"$STAMP"
rm -rf "$WORK"
