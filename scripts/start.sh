#!/usr/bin/env bash
# Prepares the working directory run/, starts what the browser needs (the
# proxy server wexapserver on 127.0.0.1:30000 unless one already answers
# there, and the offline demo site on 127.0.0.1:30080), opens the browser on
# its start page, and stops what it started when the browser quits.
set -uo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="$top/build"
work="$top/run"

mkdir -p "$work/cache"
cp "$top/shell/startpage/wexa.html" "$work/cache/0.html"
if [ ! -s "$work/.proxy.conf" ]; then
  # 18 bytes: the address, its terminating NUL, filler.
  printf '127.0.0.1\0\0\0\0\0\0\0\0\0' > "$work/.proxy.conf"
fi

started=()
cleanup() { for pid in "${started[@]}"; do kill "$pid" 2>/dev/null; done; }
trap cleanup EXIT

answers_ping() {  # host port
  python3 - "$1" "$2" <<'PY' 2>/dev/null
import socket, sys
try:
    with socket.create_connection((sys.argv[1], int(sys.argv[2])), timeout=1) as s:
        s.settimeout(2); s.sendall(b"PING\n")
        sys.exit(0 if s.recv(64).startswith(b"ALIVE") else 1)
except OSError:
    sys.exit(1)
PY
}

if answers_ping 127.0.0.1 30000; then
  echo "A proxy server already answers on 127.0.0.1:30000; using it."
elif [ -x "$build/proxy/wexapserver" ]; then
  "$build/proxy/wexapserver" 2>>"$work/wexapserver.log" &
  started+=($!)
else
  echo "wexapserver is not built; the browser will report that it cannot connect."
fi

if [ -f "$top/demo/demosite.py" ] && ! python3 -c 'import socket; socket.create_connection(("127.0.0.1", 30080), timeout=1)' 2>/dev/null; then
  python3 "$top/demo/demosite.py" 30080 >>"$work/demosite.log" 2>&1 &
  started+=($!)
fi

# Give the servers a moment to listen before the first request.
for _ in $(seq 1 20); do answers_ping 127.0.0.1 30000 && break; sleep 0.1; done

cd "$work" && "$build/shell/wexa"
status=$?
echo
exit $status
