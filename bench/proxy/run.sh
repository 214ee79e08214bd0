#!/usr/bin/env bash
# Benchmark of the proxy server wexapserver.
#
# A local nginx serves a realistic 50 KB page on 127.0.0.1. With 1, 16 and 64
# concurrent clients, the page is fetched straight from nginx (the floor) and
# through wexapserver with the browser's protocol, for a fixed time each; the
# page is sent with "Cache-Control: no-store", so every request through the
# proxy is fetched and normalised. Then, with 64 clients, the same page sent
# with "Cache-Control: public, max-age=3600" (kept in the proxy's page cache)
# and with "no-store" (never kept), one after the other in the same run.
# Prints pages/s, p50 and p99 latency, errors, the cache's hits and misses,
# and the proxy's peak memory.
#
# Environment: BENCH_SECONDS (per run, default 5), WEXA_BENCH_BUILD (build
# directory, default build-bench at the top of the tree).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${WEXA_BENCH_BUILD:-$root/build-bench}
seconds=${BENCH_SECONDS:-5}

"$root/scripts/deps.sh" nginx-light
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DWEXA_UNIT_TESTS=OFF >/dev/null
cmake --build "$build" --target wexapserver proxy_loadgen -j 2 >/dev/null

work=$(mktemp -d)
nginx_pid=""
proxy_pid=""
cleanup() {
  [ -n "$proxy_pid" ] && kill "$proxy_pid" 2>/dev/null && wait "$proxy_pid" 2>/dev/null
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

wait_for_port() {
  for _ in $(seq 100); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; then return 0; fi
    sleep 0.05
  done
  echo "nothing answers on port $1" >&2
  return 1
}

# The page: the demo article's prose, tables and links, repeated to 50 KB.
mkdir -p "$work/www"
python3 - "$root/demo/site/article.html" "$work/www/page.html" <<'EOF'
import re, sys
text = open(sys.argv[1]).read()
body = text[text.index("<BODY>") + 6 : text.index("</BODY>")]
row = "<TR><TD>Row %d</TD><TD ALIGN=RIGHT>%d</TD><TD><A HREF=item%d.html>item %d</A></TD></TR>\n"
parts, n = ["<HTML><HEAD><TITLE>Benchmark page</TITLE></HEAD><BODY>\n"], 0
while sum(map(len, parts)) < 50 * 1024 - 1200:
    parts.append(body)
    parts.append("<TABLE>\n" + "".join(row % (n + i, (n + i) * 37, n + i, n + i) for i in range(10)) + "</TABLE>\n")
    n += 10
page = "".join(parts)
page = page[: 50 * 1024 - 20] + "\n</BODY></HTML>\n"
open(sys.argv[2], "w").write(page)
EOF
page_bytes=$(stat -c %s "$work/www/page.html")
cp "$work/www/page.html" "$work/www/cached.html"
cp "$work/www/page.html" "$work/www/nostore.html"

nginx_port=$(free_port)
mkdir -p "$work/nginx/logs"
cat > "$work/nginx.conf" <<EOF
worker_processes 1;
daemon off;
pid $work/nginx/nginx.pid;
error_log $work/nginx/logs/error.log warn;
events { worker_connections 1024; }
http {
  access_log off;
  client_body_temp_path $work/nginx/body;
  proxy_temp_path $work/nginx/proxy;
  fastcgi_temp_path $work/nginx/fastcgi;
  uwsgi_temp_path $work/nginx/uwsgi;
  scgi_temp_path $work/nginx/scgi;
  keepalive_requests 100000;
  server {
    listen 127.0.0.1:$nginx_port;
    root $work/www;
    default_type text/html;
    location = /page.html { add_header Cache-Control "no-store"; }
    location = /nostore.html { add_header Cache-Control "no-store"; }
    location = /cached.html { add_header Cache-Control "public, max-age=3600"; }
  }
}
EOF
chmod -R a+rX "$work"
nginx -p "$work/nginx" -c "$work/nginx.conf" &
nginx_pid=$!
wait_for_port "$nginx_port"

proxy_port=$(free_port)
"$build/proxy/wexapserver" --port "$proxy_port" 2>"$work/proxy.log" &
proxy_pid=$!
wait_for_port "$proxy_port"

loadgen="$build/bench/proxy/proxy_loadgen"
url="http://127.0.0.1:$nginx_port/page.html"
# Warm-up: the proxy's workers open their connections to nginx.
"$loadgen" --mode proxy --port "$proxy_port" --target "$url" --clients 64 --seconds 1 >/dev/null

declare -A result
for clients in 1 16 64; do
  result[direct,$clients]=$("$loadgen" --mode direct --port "$nginx_port" --target /page.html \
      --clients "$clients" --seconds "$seconds" --min-bytes "$page_bytes")
  result[proxy,$clients]=$("$loadgen" --mode proxy --port "$proxy_port" --target "$url" \
      --clients "$clients" --seconds "$seconds" --min-bytes "$page_bytes")
done
# The page cache: a page it keeps against one it may not keep, 64 clients.
for page in cached nostore; do
  result[$page]=$("$loadgen" --mode proxy --port "$proxy_port" --target "http://127.0.0.1:$nginx_port/$page.html" \
      --clients 64 --seconds "$seconds" --min-bytes "$page_bytes")
done
peak_kb=$(awk '/VmHWM/ {print $2}' "/proc/$proxy_pid/status")

field() { sed -n "s/.*$2=\([^ ]*\).*/\1/p" <<<"$1"; }

echo
echo "wexapserver benchmark: a ${page_bytes}-byte page from nginx on 127.0.0.1, ${seconds} s per run, $(nproc) cores"
echo
printf "%-8s %-8s %10s %10s %10s %8s\n" clients path pages/s "p50 ms" "p99 ms" errors
for clients in 1 16 64; do
  for path in direct proxy; do
    line=${result[$path,$clients]}
    printf "%-8s %-8s %10s %10s %10s %8s\n" "$clients" "$path" "$(field "$line" rate)" \
      "$(field "$line" p50_ms)" "$(field "$line" p99_ms)" "$(field "$line" errors)"
  done
done
echo
added=$(python3 -c "print('%.3f' % ($(field "${result[proxy,1]}" p50_ms) - $(field "${result[direct,1]}" p50_ms)))")
echo "Latency the proxy adds at p50, 1 client: $added ms"
echo
echo "Page cache, 64 clients through wexapserver:"
echo
printf "%-36s %10s %10s %10s %8s\n" page pages/s "p50 ms" "p99 ms" errors
for page in cached nostore; do
  line=${result[$page]}
  label="$page.html (public, max-age=3600)"
  [ "$page" = nostore ] && label="$page.html (no-store)"
  printf "%-36s %10s %10s %10s %8s\n" "$label" "$(field "$line" rate)" \
    "$(field "$line" p50_ms)" "$(field "$line" p99_ms)" "$(field "$line" errors)"
done
hits=$(grep -c "cached.html OK TRUE .* cache hit" "$work/proxy.log" || true)
fetched=$(grep -c "cached.html OK TRUE .* cache miss" "$work/proxy.log" || true)
echo "cached.html: $hits served from the cache, $fetched fetched"
echo
echo "wexapserver peak memory (VmHWM): $((peak_kb / 1024)) MB ($peak_kb kB)"
echo "Requests logged by wexapserver: $(grep -c ' GET ' "$work/proxy.log" || true)"
