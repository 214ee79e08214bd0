#!/usr/bin/env bash
# Developer benchmark of the article finder on the corpus of article pages.
#
# Builds article_text (Release) and runs score.py: F1, precision and recall
# of the article text found against the text a person marked on each page,
# for the reader page (title, byline and date lines, then the article), the
# article alone, and the whole page's text; the pages where no article was
# found; and processor time per page for parsing, finding the article, and
# normalising the whole page.
#
#     bench/reader-dev/run.sh [score.py options: --pages, --save F, --compare F, --keep DIR]
#
# Environment: WEXA_BENCH_BUILD (build directory, default build-bench at the
# top of the tree), WEXA_ARTICLE_CORPUS (default ../shared/corpus/articles
# beside the tree).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${WEXA_BENCH_BUILD:-$root/build-bench}
corpus=${WEXA_ARTICLE_CORPUS:-$root/../shared/corpus/articles}

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DWEXA_UNIT_TESTS=OFF >/dev/null
cmake --build "$build" --target article_text -j 2 >/dev/null
python3 "$here/score.py" "$build/bench/reader-dev/article_text" "$corpus" "$@"
