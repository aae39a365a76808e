#!/usr/bin/env bash
# Rewrites tests/driver/golden_digests.txt, the pinned outputs of whole runs, from the current code: for
# a change that means to change values (say so in its commit). Builds the optimised tree, runs every
# golden run kind (the turbulence pair too: the external data must be there) and gathers their rows.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh" "$root/build/release"
[ -f "$root/../shared/data/external/cai-piv-samples/DNS_turbulence_00001_img1.pgm" ] ||
  { echo "regenerate_golden.sh: the turbulence pair of the external data is missing" >&2; exit 1; }
rows="$(mktemp -d)"
trap 'rm -rf "$rows"' EXIT
(cd "$root/build/release" && VRM_GOLDEN_WRITE="$rows" ctest -j "$(nproc)" -R '^(Examples|Turbulence)/GoldenRuns\.' >/dev/null)
{
  echo "# Pinned outputs of whole runs (tests/driver/golden_runs.h): run, output, pin. Written by scripts/regenerate_golden.sh."
  LC_ALL=C sort "$rows"/*.tsv
} >"$root/tests/driver/golden_digests.txt"
echo "wrote $(grep -vc '^#' "$root/tests/driver/golden_digests.txt") rows to tests/driver/golden_digests.txt"
