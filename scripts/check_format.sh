#!/usr/bin/env bash
# Checks that every C++ source of the project is formatted with the project's
# .clang-format; names each file that is not and exits 1. With --fix, formats
# them in place instead.
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t files < <(git ls-files '*.cpp' '*.h' 2>/dev/null || true)
if [ ${#files[@]} -eq 0 ]; then
  mapfile -t files < <(find . -path ./build -prune -o -path './build-*' -prune -o \
                          \( -name '*.cpp' -o -name '*.h' \) -print | sed 's|^\./||')
fi

if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
  exit 0
fi

# One clang-format run over every file; each difference is reported as
# "file:line:col: error: code should be clang-formatted".
mapfile -t bad < <(clang-format --dry-run -Werror "${files[@]}" 2>&1 |
                   sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: error: code should be clang-formatted.*/\1/p' | sort -u)
if [ ${#bad[@]} -gt 0 ]; then
  echo "format check: ${#bad[@]} files differ from .clang-format (scripts/check_format.sh --fix formats them):" >&2
  printf '  %s\n' "${bad[@]}" >&2
  exit 1
fi
echo "format check: ${#files[@]} files follow .clang-format"
