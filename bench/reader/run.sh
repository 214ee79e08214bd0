#!/usr/bin/env bash
# Reader-view benchmark: how much of what the browser shows of a real article
# page is the article, and how far down the article starts.
#
# Usage: bench/reader/run.sh [--pages N] [--reader-only|--full-only]
#
# Builds wexapserver and screen_text in a Release build, serves the corpus of
# article pages (html/*.html.gz, decompressed) from a local web server on
# 127.0.0.1, requests every page through wexapserver over the browser's
# protocol, lays each page out with the browser's own page code on an
# 80-column screen (screen_text) and scores the text against the article
# text a person marked on the page (ground-truth.json; see score.py). Prints
# one table row per mode: the full page, and the reader view when wexapserver
# has a --reader option ("n/a" otherwise). The per-page results (pages.tsv),
# each page's text and the server logs go to build/bench-reader/.
#
# Environment: WEXA_ARTICLES (the corpus; default ../shared/corpus/articles
# beside the repository), BENCH_RUNS (timed requests per page and mode,
# default 3; a page's time is their median), WEXA_BENCH_BUILD (build
# directory, default build-bench at the top of the tree).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${WEXA_BENCH_BUILD:-$root/build-bench}
out=$root/build/bench-reader
runs=${BENCH_RUNS:-3}

args=()
while [ $# -gt 0 ]; do
  case $1 in
    --pages)
      [ $# -ge 2 ] || { echo "usage: $0 [--pages N] [--reader-only|--full-only]" >&2; exit 2; }
      args+=(--pages "$2")
      shift 2
      ;;
    --reader-only | --full-only)
      args+=("$1")
      shift
      ;;
    *)
      echo "usage: $0 [--pages N] [--reader-only|--full-only]" >&2
      exit 2
      ;;
  esac
done

articles=${WEXA_ARTICLES:-$root/../shared/corpus/articles}
if [ ! -f "$articles/ground-truth.json" ] || [ ! -d "$articles/html" ]; then
  echo "no article corpus at $articles (html/*.html.gz and ground-truth.json); set WEXA_ARTICLES" >&2
  exit 1
fi

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DWEXA_UNIT_TESTS=OFF >/dev/null
cmake --build "$build" --target wexapserver screen_text -j 2 >/dev/null

# The article text is folded to ASCII with ICU when Python can load it
# (Debian's python3-icu, installed here when missing, which only the system's
# Python sees); without it score.py falls back to Unicode decomposition and
# says so above the table.
python=python3
if ! python3 -c 'import icu' 2>/dev/null; then
  if ! /usr/bin/python3 -c 'import icu' 2>/dev/null; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && command -v sudo >/dev/null && sudo=sudo
    export DEBIAN_FRONTEND=noninteractive
    { $sudo apt-get update -qq && $sudo apt-get install -y -qq python3-icu; } >/dev/null 2>&1 || true
  fi
  /usr/bin/python3 -c 'import icu' 2>/dev/null && python=/usr/bin/python3
fi

"$python" "$here/bench.py" --server "$build/proxy/wexapserver" \
  --screen-text "$build/bench/reader/screen_text" --articles "$articles" --out "$out" --runs "$runs" "${args[@]}"
