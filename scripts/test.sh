#!/usr/bin/env bash
# Installs what is missing, then builds and runs the whole test suite twice: an optimised build that
# runs every test, and a sanitizer build (address, undefined, float-cast-overflow; any report fails the
# test) that runs them again, less the end-to-end runs on full-size images (label "long").
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/setup.sh"
jobs="$(nproc)"

echo "== optimised build"
bash "$root/scripts/build.sh" "$root/build/release"
(cd "$root/build/release" && ctest --output-on-failure -j "$jobs")

echo "== sanitizer build"
bash "$root/scripts/build.sh" "$root/build/sanitize" -DVRM_SANITIZE=ON
(cd "$root/build/sanitize" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j "$jobs" -LE long)
