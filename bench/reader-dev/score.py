#!/usr/bin/env python3
"""Scores the article finder on the corpus of article pages.

    score.py DRIVER CORPUS [--runs N] [--pages] [--keep DIR]

DRIVER is the article_text program, CORPUS the folder with html/*.html.gz
and ground-truth.json. Each page's article text (as article_text writes it)
is compared with the text a person marked as the article: tokens are runs
of letters and digits, lower-cased, after folding both sides to the
browser's ASCII; each side is a multiset of shingles of 4 consecutive
tokens; per page the true positives, false positives and false negatives
are normalised to sum 1, then summed over the pages; precision, recall and
F1 follow from the sums. The same is done without folding (tokens are runs
of any script's letters and digits), which also scores pages whose script
has no ASCII form.

Rows: the reader page (title, byline and date lines, then the article),
the article alone, and the whole page's text (all shown text of the body).
--pages lists every page with its F1, worst first.
"""

import argparse
import collections
import gzip
import json
import os
import re
import statistics
import subprocess
import sys
import tempfile

ASCII_TOKEN = re.compile(r"[a-z0-9]+")
WORD_TOKEN = re.compile(r"[^\W_]+")
SHINGLE = 4


def shingles(text, pattern):
    tokens = pattern.findall(text.lower())
    if len(tokens) < SHINGLE:
        return collections.Counter([tuple(tokens)]) if tokens else collections.Counter()
    return collections.Counter(tuple(tokens[i:i + SHINGLE]) for i in range(len(tokens) - SHINGLE + 1))


def page_counts(found, truth):
    """Normalised (tp, fp, fn) of one page, or None when neither side has a token."""
    tp = sum((found & truth).values())
    fp = sum((found - truth).values())
    fn = sum((truth - found).values())
    total = tp + fp + fn
    if total == 0:
        return None
    return tp / total, fp / total, fn / total


def summary(counts):
    tp = sum(c[0] for c in counts)
    fp = sum(c[1] for c in counts)
    fn = sum(c[2] for c in counts)
    precision = tp / (tp + fp) if tp + fp else 0.0
    recall = tp / (tp + fn) if tp + fn else 0.0
    f1 = 2 * precision * recall / (precision + recall) if precision + recall else 0.0
    return f1, precision, recall


def f1_of(c):
    tp, fp, fn = c
    return 2 * tp / (2 * tp + fp + fn) if tp else 0.0


def read(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        return f.read()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("driver")
    parser.add_argument("corpus")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--pages", action="store_true")
    parser.add_argument("--keep")
    parser.add_argument("--save", help="write each page's F1 to this JSON file")
    parser.add_argument("--compare", help="list the pages whose F1 differs from this saved JSON file")
    args = parser.parse_args()

    with open(os.path.join(args.corpus, "ground-truth.json"), encoding="utf-8") as f:
        truth = json.load(f)
    work = args.keep or tempfile.mkdtemp(prefix="reader-dev-")
    pages_dir = os.path.join(work, "pages")
    out_dir = os.path.join(work, "out")
    os.makedirs(pages_dir, exist_ok=True)
    os.makedirs(out_dir, exist_ok=True)

    ids = sorted(truth)
    with open(os.path.join(work, "list.txt"), "w") as listing:
        for page_id in ids:
            page = os.path.join(pages_dir, page_id + ".html")
            if not os.path.exists(page):
                with gzip.open(os.path.join(args.corpus, "html", page_id + ".html.gz")) as src:
                    with open(page, "wb") as dst:
                        dst.write(src.read())
            listing.write("%s\t%s\t%s\n" % (page_id, page, truth[page_id].get("url", "")))
            folded = os.path.join(pages_dir, page_id + ".truth.txt")
            if not os.path.exists(folded):
                with open(folded, "wb") as dst:
                    subprocess.run([args.driver, "fold"], input=truth[page_id]["articleBody"].encode("utf-8"),
                                   stdout=dst, check=True)

    run = subprocess.run([args.driver, os.path.join(work, "list.txt"), out_dir, str(args.runs)],
                         stdout=subprocess.PIPE, check=True, text=True)
    timing = {}
    for line in run.stdout.splitlines():
        page_id, found, charset, parse_ms, find_ms, normalise_ms = line.split()
        timing[page_id] = (found == "1", charset, float(parse_ms), float(find_ms), float(normalise_ms))

    rows = [("reader page", "article"), ("article only", "body"), ("whole page", "page")]
    results = {}
    per_page = {}
    for label, kind in rows:
        for folded in (True, False):
            counts = []
            skipped = 0
            for page_id in ids:
                ext = ".txt" if folded else ".utf8"
                found = read(os.path.join(out_dir, page_id + "." + kind + ext))
                if folded:
                    expected = read(os.path.join(pages_dir, page_id + ".truth.txt"))
                else:
                    expected = truth[page_id]["articleBody"]
                pattern = ASCII_TOKEN if folded else WORD_TOKEN
                c = page_counts(shingles(found, pattern), shingles(expected, pattern))
                if c is None:
                    skipped += 1
                    continue
                counts.append(c)
                if kind == "body" and not folded:
                    per_page[page_id] = c
            results[(kind, folded)] = (summary(counts), len(counts), skipped)

    none = sum(1 for t in timing.values() if not t[0])
    not_utf8 = collections.Counter(t[1] for t in timing.values() if t[1] != "UTF-8")
    print("pages: %d, no article found: %d, not UTF-8: %s" % (len(ids), none, dict(not_utf8) or 0))
    print("%-14s %-8s %7s %9s %7s %6s" % ("", "tokens", "F1", "precision", "recall", "pages"))
    for label, kind in rows:
        for folded in (True, False):
            (f1, p, r), n, skipped = results[(kind, folded)]
            print("%-14s %-8s %7.3f %9.3f %7.3f %6d" % (label, "ascii" if folded else "unicode", f1, p, r, n))
    parse = [t[2] for t in timing.values()]
    find = [t[3] for t in timing.values()]
    norm = [t[4] for t in timing.values()]
    print("processor ms per page: median parse %.2f, find %.2f, normalise whole page %.2f; "
          "totals parse %.0f, find %.0f, normalise %.0f (find / normalise %.1f%%, worst page %.1f%%)" %
          (statistics.median(parse), statistics.median(find), statistics.median(norm), sum(parse), sum(find),
           sum(norm), 100 * sum(find) / sum(norm), max(100 * t[3] / t[4] for t in timing.values() if t[4] > 0)))
    scores = {page_id: f1_of(c) for page_id, c in per_page.items()}
    if args.save:
        with open(args.save, "w") as f:
            json.dump(scores, f)
    if args.compare:
        with open(args.compare) as f:
            before = json.load(f)
        for page_id in sorted(scores, key=lambda p: scores[p] - before.get(p, 0)):
            change = scores[page_id] - before.get(page_id, 0)
            if abs(change) >= 0.01:
                print("%+.3f %.3f %s %s" % (change, scores[page_id], page_id[:12], truth[page_id].get("url", "")))
    if args.pages:
        for page_id, c in sorted(per_page.items(), key=lambda kv: f1_of(kv[1])):
            t = timing[page_id]
            print("%s f1=%.3f tp=%.2f fp=%.2f fn=%.2f found=%d %s" % (page_id[:12], f1_of(c), c[0], c[1], c[2],
                                                                   t[0], truth[page_id].get("url", "")))
    return 0


if __name__ == "__main__":
    sys.exit(main())
