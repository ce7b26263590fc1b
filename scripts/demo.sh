#!/usr/bin/env bash
# Installs what is missing, builds, and runs the reference host on the example scene.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
ensure_packages
build build -DVELKOR_SANITIZE=
"$ROOT/build/src/velkor-host" "$@" "$ROOT/examples/demo"
