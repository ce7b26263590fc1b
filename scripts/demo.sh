#!/usr/bin/env bash
# Installs what is missing, builds, and runs the reference host on the example scene: the soft
# box of examples/demo dropped onto the 50-degree slope of terrain/slope.pgm, where it lands,
# slides down to the flat below and comes to rest within ten simulated seconds; then the run's
# summary, which shows where it stopped.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
ensure_packages
build build -DVELKOR_SANITIZE=
# The arguments live in examples/demo/args, which the host tests use as well.
read -r -a demo_args <"$ROOT/examples/demo/args"
"$ROOT/build/src/velkor-host" "${demo_args[@]}" "$@" "$ROOT/examples/demo"
