#!/usr/bin/env bash
# Benchmark of the page normaliser of wexapserver against its floor, gumbo's
# parse of the same page.
#
# Pages: the generated pages of about 100 KiB, 1 MiB and 10 MiB
# (gen_pages.py), the 50 KB page of the proxy benchmark (bench/proxy), and the
# article pages of ../shared/corpus/articles (when present), grouped by size.
# normaliser_bench times each page BENCH_RUNS times: gumbo's parse alone and
# the whole normalisation as the proxy's handler runs it (decoding, parsing,
# finding the article, writing the page). Prints one table: per page or
# group, the median processor time of the parse and of the whole, and the
# ratio whole / parse (median and worst over the group's pages).
#
# Environment: BENCH_RUNS (default 21), WEXA_BENCH_BUILD (build directory,
# default build-bench at the top of the tree), WEXA_CORPUS (default
# ../shared/corpus/articles beside the tree).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${WEXA_BENCH_BUILD:-$root/build-bench}
runs=${BENCH_RUNS:-21}
corpus=${WEXA_CORPUS:-$root/../shared/corpus/articles}

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DWEXA_UNIT_TESTS=OFF >/dev/null
cmake --build "$build" --target normaliser_bench -j 2 >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/generated" "$work/corpus"
python3 "$here/gen_pages.py" "$work/generated"
python3 "$here/pages.py" proxy-page "$root/demo/site/article.html" "$work/generated/proxy_bench.html"
if [ -d "$corpus/html" ]; then
  python3 "$here/pages.py" corpus "$corpus/html" "$work/corpus"
fi

bench="$build/bench/normaliser/normaliser_bench"
{
  for page in page_100k page_1m page_10m proxy_bench; do
    "$bench" --runs "$runs" "$work/generated/$page.html"
  done
  if [ -n "$(ls "$work/corpus")" ]; then
    "$bench" --runs "$runs" "$work"/corpus/*.html
  fi
} >"$work/results.txt"

python3 "$here/pages.py" table "$work/results.txt"
