#!/usr/bin/env bash
# Benchmark of whole-process page rendering against other text browsers.
#
# Builds render_page in a Release build, generates the benchmark pages into a
# temporary directory, installs the peers from Debian when they are missing
# (w3m, lynx, elinks, links2), and times each browser on each page as a whole
# process, output to /dev/null: `render_page PAGE`, `links2 -dump PAGE`,
# `elinks -no-home -dump PAGE`, `w3m -dump PAGE`, `lynx -dump -force_html
# PAGE`. Prints, per page, the median wall and processor times, each browser's
# times relative to render_page's, and the peak memory of each (see
# compare_render.py).
#
# Environment: BENCH_RUNS (timed runs per browser and page, default 5),
# WEXA_BENCH_BUILD (build directory, default build-bench at the top of the tree).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=${WEXA_BENCH_BUILD:-$root/build-bench}
runs=${BENCH_RUNS:-5}

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DWEXA_UNIT_TESTS=OFF >/dev/null
cmake --build "$build" --target render_page -j 2 >/dev/null

# The peers are only compared against, never part of the project's build.
missing=()
for peer in w3m lynx elinks links2; do
  command -v "$peer" >/dev/null || missing+=("$peer")
done
# GNU time measures each browser's peak memory.
[ -x /usr/bin/time ] || missing+=(time)
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && command -v sudo >/dev/null && sudo=sudo
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq || true
  # links2 may be missing from the archive; the others are compared without it.
  $sudo apt-get install -y -qq "${missing[@]}" >/dev/null ||
    $sudo apt-get install -y -qq w3m lynx elinks time >/dev/null || true
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 "$here/gen_pages.py" "$work/pages" >/dev/null

echo
echo "Whole-process render, $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo "ratio: the browser's median time over render_page's (above 1: render_page is faster);"
echo "cpu ms: user + system time of the process; peak MiB: its largest resident set."
python3 "$here/compare_render.py" "$build/bench/render_page" "$work/pages" "$runs"
