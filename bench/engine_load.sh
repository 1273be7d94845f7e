#!/usr/bin/env bash
# Measures the whole engine under load: 500 extra idle processes and 200
# loopback TCP connections, then tavrin-engine for SECONDS (default 60).
# Usage: bench/engine_load.sh [BUILD_DIR] [SECONDS]
set -euo pipefail
build=${1:-build}
seconds=${2:-60}
pids=()
cleanup() { kill "${pids[@]}" 2>/dev/null || true; }
trap cleanup EXIT

for _ in $(seq 500); do sleep 100000 & pids+=($!); done

python3 - <<'PY' &
import socket, time
srv = socket.socket(); srv.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
srv.bind(("127.0.0.1", 0)); srv.listen(256)
port = srv.getsockname()[1]
clients, accepted = [], []
for _ in range(200):
    c = socket.create_connection(("127.0.0.1", port)); clients.append(c)
    accepted.append(srv.accept()[0])
end = time.time() + 100000
while time.time() < end:
    for c in clients[:20]:
        c.send(b"x" * 512)
    for a in accepted[:20]:
        a.recv(4096)
    time.sleep(1)
PY
pids+=($!)
sleep 2
"$build/bin/tavrin-engine" --seconds "$seconds" | tail -n 5
