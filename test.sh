#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
#  - build-asan/: everything with AddressSanitizer and UndefinedBehaviorSanitizer;
#    the unit tests run here.
#  - build/: the plain build; the end-to-end tests drive these programs in tmux.
#  - the layer check and the format check (scripts/).
set -euo pipefail
cd "$(dirname "$0")"
./scripts/deps.sh

jobs=$(nproc 2>/dev/null || echo 2)

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DWEXA_SANITIZE=ON >/dev/null
cmake --build build-asan -j "$jobs"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DWEXA_UNIT_TESTS=OFF >/dev/null
cmake --build build -j "$jobs"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

status=0
# The source's shape: folders depend only on lower ones, and every C++ file
# follows .clang-format. Each check names what it finds.
python3 scripts/check_layers.py || status=1
scripts/check_format.sh || status=1

ctest --test-dir build-asan -L unit --output-on-failure -j "$jobs" || status=1
if ctest --test-dir build -N -L e2e | grep -q "Total Tests: [1-9]"; then
  ctest --test-dir build -L e2e --output-on-failure || status=1
fi
exit $status
