#!/usr/bin/env bash
# Fuzzes every parser of untrusted bytes. Builds the libFuzzer targets with
# clang (AddressSanitizer and UndefinedBehaviorSanitizer) in build-fuzz/, runs
# each for the given number of seconds (default 60), and prints a table of
# runs, time and findings.
#
#   ./fuzz.sh [seconds] [target...]     targets: page tablepass passthree reply request
#                                       normaliser proxyheader
#   FUZZ_JOBS=2 ./fuzz.sh 600           two targets at a time
#
# The seed corpora in the repository (<folder>/fuzz/corpus/<target>/) are only
# read. New inputs go to build-fuzz/runs/<target>/corpus/, inputs that crash,
# leak or hang to build-fuzz/runs/<target>/findings/, the log to
# build-fuzz/runs/<target>/log. Exits 1 when any target has a finding.
set -euo pipefail
cd "$(dirname "$0")"
root=$(pwd)

seconds=${1:-60}
shift || true
jobs=${FUZZ_JOBS:-1}

# target, folder, longest input
all_targets=(
  "page passone 16384"
  "tablepass tables 4096"
  "passthree render 8192"
  "reply net 8192"
  "request proxy 4096"
  "normaliser proxy 65536"
  "proxyheader proxy 2048"
)

selected=()
for entry in "${all_targets[@]}"; do
  read -r name _ _ <<<"$entry"
  if [ $# -eq 0 ] || [[ " $* " == *" $name "* ]]; then selected+=("$entry"); fi
done
if [ ${#selected[@]} -eq 0 ]; then
  echo "fuzz.sh: no such target: $*" >&2
  exit 2
fi

./scripts/deps.sh clang libclang-rt-14-dev

build=$root/build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DWEXA_FUZZ=ON -DWEXA_UNIT_TESTS=OFF >/dev/null
binaries=()
for entry in "${selected[@]}"; do
  read -r name _ _ <<<"$entry"
  binaries+=("fuzz_$name")
done
if ! cmake --build "$build" --target "${binaries[@]}" -j 2 >"$build/fuzz-build.log" 2>&1; then
  tail -n 40 "$build/fuzz-build.log" >&2
  echo "fuzz.sh: the build failed (log: $build/fuzz-build.log)" >&2
  exit 2
fi

run_one() {
  local name=$1 folder=$2 max_len=$3
  local run=$build/runs/$name
  mkdir -p "$run/corpus" "$run/findings"
  local started=$SECONDS
  # The target's own exit status is read from the findings directory.
  "$build/$folder/fuzz/fuzz_$name" -max_total_time="$seconds" -max_len="$max_len" \
    -timeout=25 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$run/findings/" "$run/corpus" "$root/$folder/fuzz/corpus/$name" \
    >"$run/log" 2>&1 || true
  echo $((SECONDS - started)) >"$run/seconds"
}

running=0
for entry in "${selected[@]}"; do
  read -r name folder max_len <<<"$entry"
  rm -rf "$build/runs/$name/findings"
  echo "fuzzing $name for ${seconds}s ..."
  run_one "$name" "$folder" "$max_len" &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then
    wait -n || true
    running=$((running - 1))
  fi
done
wait || true

status=0
printf '\n%-10s %12s %8s %9s\n' target runs time findings
for entry in "${selected[@]}"; do
  read -r name _ _ <<<"$entry"
  run=$build/runs/$name
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$run/log" | tail -n 1)
  findings=$(find "$run/findings" -type f | wc -l)
  printf '%-10s %12s %7ss %9s\n' "$name" "${runs:-?}" "$(cat "$run/seconds")" "$findings"
  if [ "$findings" -gt 0 ]; then
    status=1
    find "$run/findings" -type f | sed 's/^/    /'
  fi
done
exit $status
