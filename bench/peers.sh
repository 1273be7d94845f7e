#!/usr/bin/env bash
# Runs tavrin-engine beside top, htop and btop, the three at a 1 s refresh in
# one tmux session, under the load of load.sh, and prints what each cost over
# the same window: CPU time from /proc/PID/stat (utime + stime, plus the
# children it reaped and those still alive) as a share of one core, and the
# peak resident memory (VmHWM).
# Usage: bench/peers.sh [BUILD_DIR] [SECONDS]   (default build, 60)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build}
seconds=${2:-60}
settle=5 # start-up work of every monitor stays out of the window

engine="$build/bin/tavrin-engine"
[ -x "$engine" ] || { echo "peers: $engine not built" >&2; exit 1; }

missing=()
for tool in htop btop tmux; do
  command -v "$tool" >/dev/null || missing+=("$tool")
done
command -v top >/dev/null || missing+=(procps)
if ((${#missing[@]})); then
  if [ "$(id -u)" -ne 0 ]; then
    echo "peers: missing ${missing[*]} (run as root to install them)" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Every monitor's cost grows with the process count: another run's load
# would inflate all four figures.
if pgrep -f '^sleep 100000$' >/dev/null; then
  echo "peers: another load is running ($(ls -d /proc/[0-9]* | wc -l) processes); figures will be high" >&2
fi

source "$here/load.sh"
scratch=$(mktemp -d)
socket=tavrin-peers-$$
engine_pid=
cleanup() {
  tmux -L "$socket" kill-server 2>/dev/null || true
  [ -n "$engine_pid" ] && kill "$engine_pid" 2>/dev/null || true
  stop_load
  rm -rf "$scratch"
}
trap cleanup EXIT

# The peers get a home of their own, so no one's settings change them or
# are changed by them. btop has no refresh option on its command line.
mkdir -p "$scratch/config/btop"
echo 'update_ms = 1000' >"$scratch/config/btop/btop.conf"
export HOME="$scratch" XDG_CONFIG_HOME="$scratch/config"

start_load

tmux -L "$socket" -f /dev/null new-session -d -s peers -x 200 -y 50 -n top "exec top -d 1"
tmux -L "$socket" new-window -t peers -n htop "exec htop -d 10"
tmux -L "$socket" new-window -t peers -n btop "TERM=xterm-256color LANG=C.UTF-8 exec btop --utf-force"
"$engine" --seconds $((settle + seconds + 5)) >"$scratch/engine.log" &
engine_pid=$!

declare -A pid
while read -r name p; do pid[$name]=$p; done < <(tmux -L "$socket" list-windows -t peers -F '#{window_name} #{pane_pid}')
pid[tavrin-engine]=$engine_pid

# One reading of every process, so that all four are read at the same moment.
snapshot() {
  cut -d' ' -f1 /proc/uptime
  cat /proc/[0-9]*/stat 2>/dev/null || true
}
# CPU ticks of a process and of all its descendants in a snapshot: its own
# time, what it reaped, and what its live children have used so far.
ticks() {
  awk -v root="$2" '
    NR == 1 { next }
    {
      pid = $1; line = $0; sub(/^[0-9]+ \(.*\) /, "", line); split(line, f, " ")
      parent[pid] = f[2]; own[pid] = f[12] + f[13] + f[14] + f[15]
    }
    END {
      total = 0
      for (p in own) {
        for (q = p; q != "" && q != 0 && q != root; q = parent[q]) {}
        if (q == root) total += own[p]
      }
      print total
    }' "$1"
}
peak() { awk '/^VmHWM:/ { printf "%.1f MiB", $2 / 1024 }' "/proc/$1/status" 2>/dev/null || echo "gone"; }

sleep "$settle"
snapshot >"$scratch/t0"
sleep "$seconds"
snapshot >"$scratch/t1"
window=$(awk 'FNR == 1 { t[NR == 1 ? 0 : 1] = $1 } END { print t[1] - t[0] }' "$scratch/t0" "$scratch/t1")
hz=$(getconf CLK_TCK)
echo "window $window s, $(nproc) cores, $(($(wc -l <"$scratch/t1") - 1)) processes"
printf '%-14s %8s %12s\n' monitor "cpu %" "peak memory"
for n in top htop btop tavrin-engine; do
  used=$(($(ticks "$scratch/t1" "${pid[$n]}") - $(ticks "$scratch/t0" "${pid[$n]}")))
  share=$(awk -v used="$used" -v hz="$hz" -v w="$window" 'BEGIN { printf "%.2f", 100 * used / hz / w }')
  printf '%-14s %7s%% %12s\n' "$n" "$share" "$(peak "${pid[$n]}")"
done
wait "$engine_pid" || true
engine_pid=
echo "tavrin-engine's own account (whole run, start-up included):"
grep -v '^tick' "$scratch/engine.log" | sed 's/^/  /'
