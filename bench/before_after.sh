#!/usr/bin/env bash
# Two builds of the program side by side on the first turbulence pair of the external data (256 x 256,
# -pgm true -GT true -multiresol 3): the default run (K41 with evidence), the K41 run without evidence
# (-nbItTrace 0) and the Horn & Schunck run (-HS true), each program in turn, several times; prints every run, then per run kind the minimum wall
# time and peak memory of each program and the ratio after / before, with the load average of the
# machine at the start and at the end.
#   bench/before_after.sh <before program> [after program] [runs]
#     (after: build/release/src/VorlaneRegMotion of this tree; runs: 5)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
before="$(realpath "$1")"
after="$(realpath "${2:-$root/build/release/src/VorlaneRegMotion}")"
runs="${3:-5}"
data="${VRM_EXTERNAL_DATA_DIR:-$root/../shared/data/external}/cai-piv-samples/DNS_turbulence_00001"
if [ ! -f "${data}_img1.pgm" ]; then echo "external data not found: $data"; exit 0; fi
dir="$(mktemp -d /tmp/vrm_before_after_XXXXXX)"
trap 'rm -rf "$dir"' EXIT
printf '%s\n%s\n%s\n%s\n\n' "${data}_img1.pgm" "${data}_img2.pgm" "$dir/out_" "${data}_flow.motion" > "$dir/list"
echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"
declare -A best_wall best_peak
for kind in default noev hs; do
  extra=()
  [ "$kind" = noev ] && extra=(-nbItTrace 0)
  [ "$kind" = hs ] && extra=(-HS true)
  for ((i = 1; i <= runs; i++)); do
    for which in before after; do
      prog="$before"
      [ "$which" = after ] && prog="$after"
      rm -f "$dir"/out_*
      read -r wall peak < <(cd "$dir" && /usr/bin/time -f "%e %M" "$prog" -inPath list -pgm true -GT true \
        -multiresol 3 "${extra[@]}" 2>&1 >/dev/null | tail -n 1)
      echo "$kind run $i $which: ${wall} s, $((peak / 1024)) MiB"
      key="$kind/$which"
      if [ -z "${best_wall[$key]:-}" ] || awk "BEGIN{exit !($wall < ${best_wall[$key]})}"; then best_wall[$key]=$wall; fi
      if [ -z "${best_peak[$key]:-}" ] || [ "$peak" -lt "${best_peak[$key]}" ]; then best_peak[$key]=$peak; fi
    done
  done
done
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"
echo
echo "minimum of $runs runs       before               after                after/before"
for kind in default noev hs; do
  b="${best_wall[$kind/before]}"; a="${best_wall[$kind/after]}"
  printf '%-8s wall  %8.2f s          %8.2f s           %.3f\n' "$kind" "$b" "$a" "$(awk "BEGIN{print $a / $b}")"
  printf '%-8s peak  %8d MiB        %8d MiB\n' "" "$((best_peak[$kind/before] / 1024))" "$((best_peak[$kind/after] / 1024))"
done
echo "before: $before"
echo "after:  $after"
