#!/usr/bin/env bash
# What a bare window repainting one square costs on this machine, at the
# gauge's pulse rate at idle (about 16 frames a second) and at a few others,
# under Xvfb as bench/app_cost.sh runs the program. Prints the share of one
# core for each rate.
#
#   bench/repaint_floor.sh [build-dir] [seconds]
set -euo pipefail

build=${1:-build}
seconds=${2:-30}
bin=$(realpath "$build/bin/repaint-floor")
pids=()
trap '((${#pids[@]})) && kill "${pids[@]}" 2>/dev/null || true' EXIT

display=:$((80 + RANDOM % 9))
Xvfb "$display" -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
sleep 1

tck=$(getconf CLK_TCK)
for rate in 8 16.6 30; do
  DISPLAY=$display "$bin" "$rate" >/dev/null 2>&1 &
  app=$!
  sleep 3
  a=$(awk '{ sub(/.*\) /, ""); print $12 + $13 }' "/proc/$app/stat")
  sleep "$seconds"
  b=$(awk '{ sub(/.*\) /, ""); print $12 + $13 }' "/proc/$app/stat")
  kill "$app"; wait "$app" 2>/dev/null || true
  awk -v a="$a" -v b="$b" -v s="$seconds" -v tck="$tck" -v r="$rate" \
    'BEGIN { printf "%5s frames a second: %.2f %% of one core\n", r, 100 * (b - a) / tck / s }'
done
