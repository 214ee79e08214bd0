"""Scoring of a page's shown text against the article text a person marked.

Both texts are folded to ASCII (the browser shows ASCII), lower-cased and cut
into tokens: runs of letters and digits. Consecutive tokens form shingles of
SHINGLE_SIZE, counted as multisets. For one page, true positives are the
shingles both texts hold (the smaller count), false positives those only the
shown text holds, false negatives those only the article holds; the three are
divided by their sum so that each page weighs the same. Summed over pages they
give precision, recall and F1.

The start row is the page row (0-based) at which the article's first words
appear in the shown text; the first screen shows rows 0 to FIRST_SCREEN_ROWS-1.
"""

import re
import unicodedata
from collections import Counter

SHINGLE_SIZE = 4
FIRST_SCREEN_ROWS = 17
# The first shingle of the article is looked for first; when the shown text
# lacks it, the first shingle that it holds among the article's first
# START_TOKENS tokens.
START_TOKENS = 20

_TOKEN = re.compile(r"[a-z0-9]+")

try:
    import icu  # Debian's python3-icu

    _TRANSLITERATOR = icu.Transliterator.createInstance("Any-Latin; Latin-ASCII")
    FOLDING = "ICU Any-Latin; Latin-ASCII"
except ImportError:
    _TRANSLITERATOR = None
    FOLDING = "NFKD, combining marks dropped (no ICU for Python)"


def fold(text):
    """The text in ASCII: transliterated with ICU when Python has it, else
    decomposed with its combining marks dropped. Whatever has no ASCII form
    is left for the tokenizer to skip."""
    if _TRANSLITERATOR is not None:
        return _TRANSLITERATOR.transliterate(text)
    decomposed = unicodedata.normalize("NFKD", text)
    return "".join(c for c in decomposed if not unicodedata.combining(c))


def tokens(text):
    return _TOKEN.findall(fold(text).lower())


def shingles(token_list):
    """The shingles of a token list as a multiset. A text shorter than a
    shingle is one shingle of all its tokens; no tokens, no shingles."""
    if not token_list:
        return Counter()
    count = max(1, len(token_list) - SHINGLE_SIZE + 1)
    return Counter(tuple(token_list[i : i + SHINGLE_SIZE]) for i in range(count))


def page_counts(truth, shown):
    """(tp, fp, fn) of one page, normalised to sum 1; (0, 0, 0) when neither
    text has a token."""
    want = shingles(tokens(truth))
    have = shingles(tokens(shown))
    tp = fp = fn = 0
    for key in want.keys() | have.keys():
        w, h = want.get(key, 0), have.get(key, 0)
        tp += min(w, h)
        fp += max(0, h - w)
        fn += max(0, w - h)
    total = tp + fp + fn
    if total == 0:
        return 0.0, 0.0, 0.0
    return tp / total, fp / total, fn / total


def totals(counts):
    """Precision, recall and F1 over pages from their (tp, fp, fn)."""
    tp = sum(c[0] for c in counts)
    fp = sum(c[1] for c in counts)
    fn = sum(c[2] for c in counts)
    precision = tp / (tp + fp) if tp + fp > 0 else 0.0
    recall = tp / (tp + fn) if tp + fn > 0 else 0.0
    f1 = 2 * precision * recall / (precision + recall) if precision + recall > 0 else 0.0
    return precision, recall, f1


def start_row(truth, rows):
    """The row of rows (the shown text, one string per page row) where the
    article's first words first appear, or None when they are not found."""
    first = tokens(truth)[:START_TOKENS]
    if not first:
        return None
    shown, row_of = [], []
    for r, row in enumerate(rows):
        for token in tokens(row):
            shown.append(token)
            row_of.append(r)
    size = min(SHINGLE_SIZE, len(first))
    # Where each shingle of the shown text first starts.
    first_seen = {}
    for i in range(len(shown) - size + 1):
        first_seen.setdefault(tuple(shown[i : i + size]), i)
    for start in range(len(first) - size + 1):
        at = first_seen.get(tuple(first[start : start + size]))
        if at is not None:
            return row_of[at]
    return None


def on_first_screen(row):
    return row is not None and row < FIRST_SCREEN_ROWS
