#!/usr/bin/env bash
# Runs every benchmark of bench/ one after another and prints their tables
# under headings, with the date, the git commit, the machine and its load
# before each benchmark, so that the numbers of one run can be pasted into a
# note as they are:
#
#   render      bench/run_render.sh          whole-process render against other text browsers
#   passes      bench/run_passes.sh          pass one and the table pass
#   normaliser  bench/normaliser/run.sh      the proxy's page normaliser against gumbo's parse
#   proxy       bench/proxy/run.sh           wexapserver under load, one instance and two behind HAProxy
#   reader      bench/reader/run.sh          the reader view on the article corpus, through wexapserver
#   reader-dev  bench/reader-dev/run.sh      the article finder alone on the same corpus
#
#     bench/run_all.sh [--quick] [NAME...]   (default: all, in the order above)
#
# The tables go to standard output, build and progress messages to standard
# error: `bench/run_all.sh >note.txt` keeps the tables alone. A benchmark
# that fails is reported under its heading ("failed, exit N") and the others
# still run; the script then exits with 1.
#
# Counts: BENCH_RUNS (render, normaliser, reader, reader-dev), BENCH_REPS
# (passes) and BENCH_SECONDS (proxy) are passed through to the benchmarks,
# which otherwise use their own defaults. --quick sets those not already set
# to one run (one second for the proxy) and the reader benchmark to its first
# 20 pages: numbers for checking that everything runs, not for a note.
# WEXA_BENCH_BUILD and the corpus variables reach the benchmarks unchanged.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)

NAMES=(render passes normaliser proxy reader reader-dev)
declare -A SCRIPT=(
  [render]=run_render.sh
  [passes]=run_passes.sh
  [normaliser]=normaliser/run.sh
  [proxy]=proxy/run.sh
  [reader]=reader/run.sh
  [reader-dev]=reader-dev/run.sh
)
declare -A TITLE=(
  [render]="Whole-process render against other text browsers"
  [passes]="Pass one and the table pass"
  [normaliser]="The page normaliser against gumbo's parse"
  [proxy]="wexapserver under load: one instance, two behind HAProxy"
  [reader]="The reader view on the article corpus"
  [reader-dev]="The article finder on the article corpus"
)

usage() {
  echo "usage: $0 [--quick] [${NAMES[*]}]..." >&2
  exit 2
}

quick=0
chosen=()
for arg in "$@"; do
  case $arg in
    --quick) quick=1 ;;
    -h | --help) usage ;;
    *)
      [ -n "${SCRIPT[$arg]+set}" ] || usage
      chosen+=("$arg")
      ;;
  esac
done
[ ${#chosen[@]} -gt 0 ] || chosen=("${NAMES[@]}")

reader_args=()
if [ "$quick" = 1 ]; then
  export BENCH_RUNS=${BENCH_RUNS:-1} BENCH_REPS=${BENCH_REPS:-1} BENCH_SECONDS=${BENCH_SECONDS:-1}
  [[ " ${chosen[*]} " == *" reader "* ]] && reader_args=(--pages 20)
fi
# The article finder's benchmark takes its run count as an option.
dev_args=()
[ -n "${BENCH_RUNS:-}" ] && dev_args=(--runs "$BENCH_RUNS")

commit=$(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo unknown)
subject=$(git -C "$root" log -1 --format=%s 2>/dev/null || true)
[ -n "$(git -C "$root" status --porcelain --untracked-files=no 2>/dev/null)" ] &&
  commit="$commit, with uncommitted changes"
cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)

echo "# wexa benchmarks"
echo
echo "date:    $(date '+%Y-%m-%d %H:%M:%S %z')"
echo "commit:  $commit ($subject)"
echo "machine: $(nproc) cores${cpu:+, $cpu}, $(uname -sr)"
echo "load:    $(uptime)"
echo "counts:  BENCH_RUNS=${BENCH_RUNS:-default} BENCH_REPS=${BENCH_REPS:-default}" \
  "BENCH_SECONDS=${BENCH_SECONDS:-default}${reader_args[*]:+, reader ${reader_args[*]}}"

failed=()
for name in "${chosen[@]}"; do
  script="bench/${SCRIPT[$name]}"
  args=()
  [ "$name" = reader ] && args=("${reader_args[@]}")
  [ "$name" = reader-dev ] && args=("${dev_args[@]}")
  echo
  echo "## ${TITLE[$name]} ($script${args[*]:+ ${args[*]}})"
  echo
  echo "load before: $(uptime)"
  echo "running $script" >&2
  start=$(date +%s)
  "$root/$script" "${args[@]}"
  rc=$?
  echo
  if [ "$rc" -eq 0 ]; then
    echo "($name: $(($(date +%s) - start)) s)"
  else
    echo "($name: failed, exit $rc, after $(($(date +%s) - start)) s; its messages are on standard error)"
    failed+=("$name")
  fi
done

echo
echo "load after: $(uptime)"
if [ ${#failed[@]} -gt 0 ]; then
  echo "failed: ${failed[*]}"
  exit 1
fi
