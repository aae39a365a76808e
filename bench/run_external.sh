#!/usr/bin/env bash
# Whole runs on the two turbulence pairs of the external data (Horn & Schunck, K41 with evidence,
# K41 without evidence; three pyramid levels, true field on): prints end-point and angular errors,
# wall time, peak memory and per-level time, dual iterations and primal solves.
#   bench/run_external.sh [build-dir]      (default build/release; the two targets are built there)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="${1:-$root/build/release}"
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$dir" -j "$(nproc)" --target VorlaneRegMotion bench_run_external >/dev/null
"$dir/bench/bench_run_external" "$dir/src/VorlaneRegMotion"
