#!/usr/bin/env bash
# The Field mode's cost under network traffic, beside the List mode's in the
# same run. Inside a private pid and network namespace (loopback up, about
# 500 idle processes) one receiver takes about 1 MB/s from each of 20
# senders, every sender a copy of the real interpreter under a name of its
# own, so that each is a group with particles. Two tavrin windows, one per
# Xvfb display, show the field and the list; after the warm-up each one's
# share of a core is printed (its own time and its tools').
#
#   bench/field_traffic.sh [build-dir] [seconds] [warm-up seconds] [senders]
#
# With 0 senders it measures the two modes with no traffic at all.
#
# Runs as root (or with user namespaces); needs unshare, ip, Xvfb, python3.
set -euo pipefail

if [[ ${FIELD_TRAFFIC_INSIDE:-} != 1 ]]; then
  export FIELD_TRAFFIC_INSIDE=1
  exec unshare --pid --fork --net --mount-proc -- "$(realpath "$0")" "$@"
fi

build=${1:-build}
seconds=${2:-60}
warmup=${3:-40}
senders=${4:-20}
target_procs=500
bin=$(realpath "$build/bin/tavrin")

ip link set lo up

work=$(mktemp -d)
pids=()
cleanup() {
  # Wait for them, so that the X servers take their lock files with them.
  ((${#pids[@]})) && kill "${pids[@]}" 2>/dev/null && wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

for _ in $(seq $target_procs); do sleep 100000 & pids+=($!); done

# The interpreter itself, not a launcher script in front of it.
python=$(realpath "$(python3 -c 'import sys; print(sys.executable)')")
[[ -x /usr/bin/python3 ]] && python=$(realpath /usr/bin/python3)
mkdir -p "$work/bin"
port=47000
"$python" - "$port" "$senders" <<'PY' &
import selectors, socket, sys
port, count = int(sys.argv[1]), int(sys.argv[2])
srv = socket.socket(); srv.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
srv.bind(("127.0.0.1", port)); srv.listen(64)
sel = selectors.DefaultSelector()
sel.register(srv, selectors.EVENT_READ)
while True:
    for key, _ in sel.select():
        if key.fileobj is srv:
            conn, _ = srv.accept(); sel.register(conn, selectors.EVENT_READ)
        elif not key.fileobj.recv(1 << 16):
            sel.unregister(key.fileobj); key.fileobj.close()
PY
pids+=($!)
sleep 1
for i in $(seq -f %02g 1 "$senders"); do
  cp "$python" "$work/bin/sender$i"
  "$work/bin/sender$i" - "$port" <<'PY' &
import socket, sys, time
s = socket.create_connection(("127.0.0.1", int(sys.argv[1])))
chunk = b"x" * (1 << 16)
t = time.monotonic()
while True:
    s.sendall(chunk)  # 16 chunks a second: 1 MiB/s
    t += 1 / 16
    time.sleep(max(0, t - time.monotonic()))
PY
  pids+=($!)
done

run() { # display mode
  local home=$work/home-$2
  mkdir -p "$home"
  Xvfb "$1" -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
  pids+=($!)
  sleep 1
  HOME=$home XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data DISPLAY=$1 \
    "$bin" -welcomeSeen YES -mode "$2" >/dev/null 2>&1 &
  pids+=($!)
  app_pid=$!
  sleep 2
  # Keep the pointer off the window, where it would hold things still.
  DISPLAY=$1 xdotool mousemove 1599 999 2>/dev/null || true
}
# A display no other server holds.
free_display() {
  local n=$1
  while [[ -e /tmp/.X$n-lock ]]; do n=$((n + 1)); done
  echo ":$n"
}
run "$(free_display 71)" field; field=$app_pid
run "$(free_display 72)" table; list=$app_pid

source "$(dirname "$0")/cpu_ticks.sh"

sleep "$warmup"
procs=$(shopt -s nullglob; entries=(/proc/[0-9]*); echo ${#entries[@]})
f0=$(total "$field"); l0=$(total "$list"); t0=$EPOCHREALTIME
sleep "$seconds"
f1=$(total "$field"); l1=$(total "$list"); t1=$EPOCHREALTIME

awk -v f0="$f0" -v f1="$f1" -v l0="$l0" -v l1="$l1" -v t0="$t0" -v t1="$t1" -v tck="$tck" \
    -v procs="$procs" -v s="$seconds" -v w="$warmup" -v n="$senders" 'BEGIN {
  printf "processes: %d, senders: %d at 1 MiB/s each\n", procs, n
  printf "measured over %d s after a %d s warm-up\n", s, w
  f = 100 * (f1 - f0) / tck / (t1 - t0); l = 100 * (l1 - l0) / tck / (t1 - t0)
  printf "field: %.2f %% of one core\nlist:  %.2f %% of one core\n", f, l
  if (l > 0) printf "field / list: %.2f\n", f / l
}'
