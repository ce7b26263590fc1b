#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: a normal build, an AddressSanitizer +
# UndefinedBehaviorSanitizer build, and the thread hand-off tests under ThreadSanitizer.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
ensure_packages

echo "== normal build"
build build -DVELKOR_SANITIZE=
(cd "$ROOT/build" && ctest -j "$JOBS" --output-on-failure)

echo "== the commands in README.md and docs/, as written"
bash "$ROOT/scripts/check_docs.sh"

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build"
build build-asan -DVELKOR_SANITIZE=address -DCMAKE_BUILD_TYPE=Debug
(cd "$ROOT/build-asan" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
   ctest -j "$JOBS" --output-on-failure)

echo "== ThreadSanitizer build (hand-off tests)"
build build-tsan -DVELKOR_SANITIZE=thread
(cd "$ROOT/build-tsan" && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
   ctest -j "$JOBS" -L handoff --output-on-failure)
echo "all test runs passed"
