#!/usr/bin/env bash
# Benchmark of the proxy server wexapserver.
#
# A local nginx serves a realistic 50 KB page on 127.0.0.1. With 1, 16 and 64
# concurrent clients, the page is fetched straight from nginx (the floor) and
# through wexapserver with the browser's protocol, for a fixed time each; the
# page is sent with "Cache-Control: no-store", so every request through the
# proxy is fetched and normalised. Then, with 64 clients, the same page sent
# with "Cache-Control: public, max-age=3600" (kept in the proxy's page cache)
# and with "no-store" (never kept), one after the other in the same run, each
# against three setups:
#
# - one instance, connected to directly;
# - two instances (one secret file, --proxy-protocol) behind HAProxy (mode
#   tcp, balance source, send-proxy-v2), each of the 64 clients sending from
#   a loopback address of its own (127.0.0.1 to 127.0.0.64: the load
#   generator binds its socket to it before connecting), so that the
#   balancer spreads them over both instances;
# - the same two instances with every client sending from 127.0.0.1, as
#   every local user of a host does: balance source sends them all to one
#   instance, and the row measures that instance plus the balancer's hop.
#
# Prints pages/s, p50 and p99 latency, errors, the processor time the
# servers used (in cores) and the share of the machine left idle during each
# run, how many pages each of the two instances served, the cache's hits and
# misses, and the peak memory of each server process.
#
# On this machine two instances have no cores of their own: its two cores
# run the servers, HAProxy, nginx, the load generator and whatever else the
# machine is doing, so a second instance mostly shares the processor time
# the first one had. Where a run leaves the machine no idle time (the "idle"
# column) two instances cannot be faster than one; only where one instance
# leaves some idle (serving cache hits, it may not keep both cores busy) can
# the second take it. And the load generator's clients all come from one
# address unless it spreads them (above), so balance source would put them
# all on one instance. Each instance also keeps a page cache of its own, so
# a cacheable page is fetched once per instance. The rows show what the
# balancer's hop costs, that requests do not fail through it under load,
# and how balance source spreads the clients' addresses; how far the
# instances scale needs cores (or hosts) of their own.
#
# Environment: BENCH_SECONDS (per run, default 5), WEXA_BENCH_BUILD (build
# directory, default build-bench at the top of the tree).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${WEXA_BENCH_BUILD:-$root/build-bench}
seconds=${BENCH_SECONDS:-5}

"$root/scripts/deps.sh" nginx-light haproxy
haproxy=$(command -v haproxy || command -v /usr/sbin/haproxy || true)
[ -n "$haproxy" ] || { echo "haproxy is not installed (scripts/deps.sh haproxy)" >&2; exit 1; }
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DWEXA_UNIT_TESTS=OFF >/dev/null
cmake --build "$build" --target wexapserver proxy_loadgen -j 2 >/dev/null

work=$(mktemp -d)
# Every process the script starts, stopped (by its id) when it ends. A
# stopped process's status (143) is no failure of the benchmark: without the
# "|| true", errexit would end the clean-up at the first one, leaving the
# others running, the temporary directory behind, and the exit status 143.
pids=()
cleanup() {
  for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true
  done
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
python3 "$root/bench/normaliser/pages.py" proxy-page "$root/demo/site/article.html" "$work/www/page.html"
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
pids+=($!)
wait_for_port "$nginx_port"

proxy_port=$(free_port)
"$build/proxy/wexapserver" --port "$proxy_port" 2>"$work/proxy.log" &
proxy_pid=$!
pids+=($!)
wait_for_port "$proxy_port"

# Two instances behind HAProxy: one secret file, the PROXY protocol from the
# balancer, a loopback port each.
head -c 32 /dev/urandom >"$work/secret"
chmod 600 "$work/secret"
declare -A instance_port instance_pid
for name in a b; do
  instance_port[$name]=$(free_port)
  "$build/proxy/wexapserver" --port "${instance_port[$name]}" --secret-file "$work/secret" \
    --proxy-protocol 2>"$work/instance-$name.log" &
  instance_pid[$name]=$!
  pids+=($!)
  wait_for_port "${instance_port[$name]}"
done
balancer_port=$(free_port)
cat >"$work/haproxy.cfg" <<EOF
global
    maxconn 4096
defaults
    mode tcp
    timeout connect 2s
    timeout client 60s
    timeout server 60s
    retries 2
    option redispatch
listen wexa
    bind 127.0.0.1:$balancer_port
    balance source
    server a 127.0.0.1:${instance_port[a]} send-proxy-v2 check inter 1s
    server b 127.0.0.1:${instance_port[b]} send-proxy-v2 check inter 1s
EOF
"$haproxy" -db -f "$work/haproxy.cfg" >"$work/haproxy.log" 2>&1 &
haproxy_pid=$!
pids+=($!)
wait_for_port "$balancer_port"

loadgen="$build/bench/proxy/proxy_loadgen"
url="http://127.0.0.1:$nginx_port/page.html"
# Warm-up: the proxy's workers open their connections to nginx.
"$loadgen" --mode proxy --port "$proxy_port" --target "$url" --clients 64 --seconds 1 >/dev/null
"$loadgen" --mode proxy --port "$balancer_port" --target "$url" --clients 64 --sources 64 --seconds 1 >/dev/null

field() { sed -n "s/.*$2=\([^ ]*\).*/\1/p" <<<"$1"; }

declare -A result
for clients in 1 16 64; do
  result[direct,$clients]=$("$loadgen" --mode direct --port "$nginx_port" --target /page.html \
      --clients "$clients" --seconds "$seconds" --min-bytes "$page_bytes")
  result[proxy,$clients]=$("$loadgen" --mode proxy --port "$proxy_port" --target "$url" \
      --clients "$clients" --seconds "$seconds" --min-bytes "$page_bytes")
done

# Pages an instance has logged for a page name so far.
served() { grep -c " GET http://127.0.0.1:$nginx_port/$2 " "$work/instance-$1.log" || true; }

# Processor time (user + system, clock ticks) the given processes have used.
cpu_ticks() {
  local pid total=0
  for pid in "$@"; do
    total=$((total + $(awk '{print $14 + $15}' "/proc/$pid/stat")))
  done
  echo "$total"
}
ticks_per_second=$(getconf CLK_TCK)
# The machine's idle and total processor time so far (all cores, ticks).
machine_ticks() { awk '/^cpu / {print $5 + $6, $2 + $3 + $4 + $5 + $6 + $7 + $8 + $9}' /proc/stat; }
# The share of the machine's processor time left idle between two readings.
idle_share() {
  read -r idle0 total0 <<<"$1"
  read -r idle1 total1 <<<"$2"
  python3 -c "print('%.0f%%' % (100 * ($idle1 - $idle0) / max(1, $total1 - $total0)))"
}
# Cores the servers kept busy during one run: their processor time over the
# run's wall time, from the load generator's own measure of it.
cores_used() {
  python3 -c "print('%.2f' % (($2 - $1) / $ticks_per_second / $(field "$3" seconds)))"
}

# The page cache and the balancer: a page it keeps against one it may not
# keep, 64 clients, one instance and two behind HAProxy.
declare -A share cores idle
for page in cached nostore; do
  target="http://127.0.0.1:$nginx_port/$page.html"
  before=$(cpu_ticks "$proxy_pid")
  machine=$(machine_ticks)
  result[$page,one]=$("$loadgen" --mode proxy --port "$proxy_port" --target "$target" \
      --clients 64 --seconds "$seconds" --min-bytes "$page_bytes")
  cores[$page,one]=$(cores_used "$before" "$(cpu_ticks "$proxy_pid")" "${result[$page,one]}")
  idle[$page,one]=$(idle_share "$machine" "$(machine_ticks)")
  for sources in 64 1; do
    before_a=$(served a "$page.html")
    before_b=$(served b "$page.html")
    two=("${instance_pid[a]}" "${instance_pid[b]}" "$haproxy_pid")
    before=$(cpu_ticks "${two[@]}")
    machine=$(machine_ticks)
    result[$page,two$sources]=$("$loadgen" --mode proxy --port "$balancer_port" --target "$target" \
        --clients 64 --sources "$sources" --seconds "$seconds" --min-bytes "$page_bytes")
    cores[$page,two$sources]=$(cores_used "$before" "$(cpu_ticks "${two[@]}")" "${result[$page,two$sources]}")
    idle[$page,two$sources]=$(idle_share "$machine" "$(machine_ticks)")
    share[$page,two$sources]="$(($(served a "$page.html") - before_a)) / $(($(served b "$page.html") - before_b))"
  done
done
peak_kb() { awk '/VmHWM/ {print $2}' "/proc/$1/status"; }
peak_one=$(peak_kb "$proxy_pid")

echo
echo "wexapserver benchmark: a ${page_bytes}-byte page from nginx on 127.0.0.1, ${seconds} s per run, $(nproc) cores," \
  "load average $(cut -d' ' -f1-3 /proc/loadavg)"
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
echo "Page cache and two instances behind HAProxy, 64 clients:"
echo
printf "%-24s %-31s %8s %8s %8s %6s %6s %5s %13s\n" page server pages/s "p50 ms" "p99 ms" errors cores idle \
  "served a / b"
for page in cached nostore; do
  label="cacheable (max-age=3600)"
  [ "$page" = nostore ] && label="uncacheable (no-store)"
  for setup in one two64 two1; do
    case $setup in
      one) server="one instance, direct" ;;
      two64) server="two behind HAProxy, 64 sources" ;;
      two1) server="two behind HAProxy, 1 source" ;;
    esac
    line=${result[$page,$setup]}
    printf "%-24s %-31s %8s %8s %8s %6s %6s %5s %13s\n" "$label" "$server" "$(field "$line" rate)" \
      "$(field "$line" p50_ms)" "$(field "$line" p99_ms)" "$(field "$line" errors)" "${cores[$page,$setup]}" \
      "${idle[$page,$setup]}" "${share[$page,$setup]:--}"
  done
done
echo
echo "Sources: the clients' loopback addresses (127.0.0.1 to 127.0.0.64, or all 127.0.0.1);"
echo "balance source picks the instance by that address. served a / b: pages each instance logged."
echo "cores: processor time of the servers (the one instance; or both instances and HAProxy) over the run's time;"
echo "idle: the machine's processor time left idle during the run (all processes, other work included)."
hits() { grep -c "cached.html OK TRUE .* cache $2" "$1" || true; }
echo "cached.html, one instance: $(hits "$work/proxy.log" hit) served from the cache, $(hits "$work/proxy.log" miss) fetched"
for name in a b; do
  echo "cached.html, instance $name: $(hits "$work/instance-$name.log" hit) served from the cache," \
    "$(hits "$work/instance-$name.log" miss) fetched"
done
echo
echo "Peak memory (VmHWM): one instance $((peak_one / 1024)) MB;" \
  "instances a and b $(($(peak_kb "${instance_pid[a]}") / 1024)) and $(($(peak_kb "${instance_pid[b]}") / 1024)) MB"
echo "Requests logged by the one instance: $(grep -c ' GET ' "$work/proxy.log" || true)"
