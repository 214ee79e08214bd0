#!/usr/bin/env bash
# Installs what is missing, builds, and starts what exists so far.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DWEXA_UNIT_TESTS=OFF >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)"

if [ -x build/shell/wexa ]; then
  exec ./scripts/start.sh
fi
echo "The browser is not built yet. The developer tools are ready:"
echo "  build/tools/passdump   prints ./pass1.tmp with its control codes spelled out"
echo "  build/tools/tablepass  lays out the tables of ./pass1.tmp into ./pass2.tmp"
