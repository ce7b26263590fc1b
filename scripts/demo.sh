#!/usr/bin/env bash
# Installs what is missing, builds, and runs the reference host on the example scene: a soft-body
# cart on four pressurised tires drives down the slope of terrain/ground.pgm, brakes to a stop,
# drives on into the wall of static/wall.txt and loses its bumper; the run's summary then says
# what the cart is and what happened to it.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
ensure_packages
build build -DVELKOR_SANITIZE=
# The arguments live in examples/demo/args, which the host tests use as well.
read -r -a demo_args <"$ROOT/examples/demo/args"
"$ROOT/build/src/velkor-host" "${demo_args[@]}" "$@" "$ROOT/examples/demo"
