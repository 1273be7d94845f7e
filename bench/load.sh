# The load the engine benchmarks run under, sourced by engine_load.sh and
# peers.sh: 500 extra idle processes and 200 loopback TCP connections with
# light traffic (20 of them send 512 bytes a second each way).
# start_load adds the pids it starts to the array load_pids; stop_load ends
# them.

load_pids=()

start_load() {
  local i
  for i in $(seq 500); do sleep 100000 & load_pids+=($!); done
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
  load_pids+=($!)
  sleep 2
}

stop_load() {
  ((${#load_pids[@]})) && kill "${load_pids[@]}" 2>/dev/null || true
  load_pids=()
}
