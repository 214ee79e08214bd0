#!/usr/bin/env bash
# Benchmark of pass one plus the table pass (HTML to the laid-out page stream).
#
# Builds passes_bench in a Release build, generates the benchmark pages into a
# temporary directory, and times the two passes on each page in a process of
# its own (so that each page's peak memory is its own). Prints one table:
# page, size, median times, throughput, peak memory.
#
# Environment: BENCH_REPS (timed runs per page, default 7), WEXA_BENCH_BUILD
# (build directory, default build-bench at the top of the tree).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=${WEXA_BENCH_BUILD:-$root/build-bench}
reps=${BENCH_REPS:-7}

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DWEXA_UNIT_TESTS=OFF >/dev/null
cmake --build "$build" --target passes_bench -j 2 >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 "$here/gen_pages.py" "$work/pages" >/dev/null

echo
echo "Pass one + table pass, median of $reps runs each, $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo "Times are medians, wall clock except cpu ms (user + system time of both passes)."
echo "MB/s: 10^6 bytes of HTML per second of both passes, by wall and by processor time."
echo "peak MiB: the process's VmHWM (one process per page)."
echo
printf "%-16s %9s %9s %9s %9s %9s %8s %8s %8s\n" page bytes "pass1 ms" "table ms" "total ms" "cpu ms" MB/s "cpu MB/s" "peak MiB"
for page in text_100k text_1m text_10m table_2000; do
  "$build/bench/passes_bench" --reps "$reps" --no-header "$work/pages/$page.html"
done
