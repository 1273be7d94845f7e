#!/usr/bin/env bash
# The whole program's cost in list mode, as a person leaves it running: the
# window shown under Xvfb, no pointer, about 600 processes on the machine.
# Prints the share of one core used by tavrin and everything it starts
# (exited tools through cutime/cstime, running ones directly) and tavrin's
# peak resident memory.
#
#   bench/app_cost.sh [build-dir] [seconds]
set -euo pipefail

build=${1:-build}
seconds=${2:-60}
warmup=15
target_procs=600
bin=$(realpath "$build/bin/tavrin")

work=$(mktemp -d)
pids=()
cleanup() {
  ((${#pids[@]})) && kill "${pids[@]}" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
sleep 1

have=$(shopt -s nullglob; entries=(/proc/[0-9]*); echo ${#entries[@]})
for _ in $(seq $((target_procs - have - 2))); do sleep 100000 & pids+=($!); done

HOME=$work XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data DISPLAY=$display \
  "$bin" -welcomeSeen YES -mode "${MODE:-table}" >/dev/null 2>&1 &
app=$!
pids+=($app)

source "$(dirname "$0")/cpu_ticks.sh"

# Xvfb starts with the pointer in the middle of the screen, over the list,
# where it would hold the order still; park it outside the window.
sleep 2
DISPLAY=$display xdotool mousemove 1599 999 2>/dev/null || echo "xdotool missing: the pointer stays over the list" >&2

sleep "$warmup"
procs=$(shopt -s nullglob; entries=(/proc/[0-9]*); echo ${#entries[@]})
start=$(total "$app")
t0=$EPOCHREALTIME
sleep "$seconds"
end=$(total "$app")
t1=$EPOCHREALTIME
hwm=$(awk '/VmHWM/ { print $2 }' "/proc/$app/status")
rss=$(awk '/VmRSS/ { print $2 }' "/proc/$app/status")

awk -v a="$start" -v b="$end" -v t0="$t0" -v t1="$t1" -v tck="$tck" -v hwm="$hwm" -v rss="$rss" \
    -v procs="$procs" -v s="$seconds" 'BEGIN {
  printf "processes on the machine: %d\n", procs
  printf "measured over %d s after a %s s warm-up\n", s, "'"$warmup"'"
  printf "cpu: %.2f %% of one core (tavrin and its tools)\n", 100 * (b - a) / tck / (t1 - t0)
  printf "memory: peak resident %.1f MiB, now %.1f MiB\n", hwm / 1024, rss / 1024
}'
