#!/usr/bin/env bash
# Benchmark of the page normaliser of wexapserver.
#
# Generates pages of about 100 KiB, 1 MiB and 10 MiB (gen_pages.py), times
# normaliser_bench on each in its own process (the median of BENCH_RUNS runs
# of processor time: decoding, parsing with gumbo, writing the browser's
# page, and the whole; wall time of the whole; peak memory of the process),
# and, when links2 is installed, times `links2 -dump PAGE` on the same page
# as a whole process for comparison (median wall and processor time of
# BENCH_RUNS runs, peak memory from GNU time). Prints one table.
#
# Environment: BENCH_RUNS (default 5), WEXA_BENCH_BUILD (build directory,
# default build-bench at the top of the tree).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${WEXA_BENCH_BUILD:-$root/build-bench}
runs=${BENCH_RUNS:-5}

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DWEXA_UNIT_TESTS=OFF >/dev/null
cmake --build "$build" --target normaliser_bench -j 2 >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 "$here/gen_pages.py" "$work"

# Median wall and processor milliseconds and the peak memory (KiB) of
# `links2 -dump PAGE`, run $runs times.
time_links2() {
  local page=$1 i
  for i in $(seq "$runs"); do
    /usr/bin/time -f '%e %U %S %M' -o "$work/time.txt" links2 -dump "$page" >/dev/null 2>&1 || true
    cat "$work/time.txt"
  done | python3 -c '
import sys
rows = [list(map(float, l.split())) for l in sys.stdin if l.strip()]
mid = lambda xs: sorted(xs)[len(xs) // 2]
print("%.0f %.0f %.0f" % (mid([r[0] for r in rows]) * 1000, mid([(r[1] + r[2]) for r in rows]) * 1000,
                        max(r[3] for r in rows)))'
}

printf '%-8s %9s %9s %9s %9s %9s %9s %9s | %9s %9s %9s\n' \
  page "decode" "parse" "write" "total" "wall" "parse%" "peakMiB" "links2" "l2cpu" "l2MiB"
printf '%-8s %9s %9s %9s %9s %9s %9s %9s | %9s %9s %9s\n' \
  "" "cpu ms" "cpu ms" "cpu ms" "cpu ms" "ms" "" "" "wall ms" "ms" ""
for size in 100k 1m 10m; do
  page="$work/page_$size.html"
  line=$("$build/bench/normaliser/normaliser_bench" "$page" "$runs")
  value() { sed -n "s/.*\b$1=\([0-9.]*\).*/\1/p" <<<"$line"; }
  decode=$(value decode_cpu_ms)
  parse=$(value parse_cpu_ms)
  write=$(value write_cpu_ms)
  total=$(value total_cpu_ms)
  wall=$(value total_wall_ms)
  peak=$(value peak_kib)
  share=$(python3 -c "print('%.0f%%' % (100 * $parse / $total if $total else 0))")
  peakMib=$(python3 -c "print('%.1f' % ($peak / 1024))")
  if command -v links2 >/dev/null && [ -x /usr/bin/time ]; then
    read -r l2wall l2cpu l2peak < <(time_links2 "$page")
    l2mib=$(python3 -c "print('%.1f' % ($l2peak / 1024))")
  else
    l2wall=- l2cpu=- l2mib=-
  fi
  printf '%-8s %9s %9s %9s %9s %9s %9s %9s | %9s %9s %9s\n' \
    "$size" "$decode" "$parse" "$write" "$total" "$wall" "$share" "$peakMib" "$l2wall" "$l2cpu" "$l2mib"
done
