#!/usr/bin/env python3
"""Writes modern-looking web pages for the normaliser benchmark, the same
bytes on every run.

Pages: page_100k.html, page_1m.html, page_10m.html (about 100 KiB, 1 MiB and
10 MiB). Each is a UTF-8 article page as sites write them today: a head with
meta tags, styles and scripts; a header with a navigation list; sections of
nested divs and spans with classes, headings, paragraphs with links
(relative, root-relative, absolute, with queries), emphasis, entities and
typographic punctuation; lists; a data table now and then; a search form;
comments; and a footer.

Usage: gen_pages.py OUTDIR
"""

import os
import random
import sys

WORDS = """
the of and to in is that for it as was with be by on not he this are or his
from at which but have an they you were her she there one all we their can
has been if more when will would who so no out up into do time only its about
river mountain garden window letter evening morning station harbour village
library country question answer paper market bridge street winter summer
autumn spring travel journey message reader writer machine engine silver
""".split()

TYPOGRAPHY = ["\u201cquoted\u201d", "it\u2019s", "2010\u20132012", "\u2014", "caf\u00e9", "na\u00efve", "\u2026",
              "&amp;", "&nbsp;", "&copy;", "M\u00fcller", "\u00a3120"]

KIB = 1024
MIB = 1024 * KIB


def words(rnd, n):
    out = []
    for _ in range(n):
        r = rnd.random()
        if r < 0.03:
            out.append(rnd.choice(TYPOGRAPHY))
        else:
            out.append(rnd.choice(WORDS))
    return out


def link(rnd, text):
    kind = rnd.randrange(4)
    if kind == 0:
        href = "/wiki/%s_%d" % (rnd.choice(WORDS).title(), rnd.randrange(100000))
    elif kind == 1:
        href = "../section/%s.html" % rnd.choice(WORDS)
    elif kind == 2:
        href = "https://www.example.org/articles/%d/%s?ref=bench&amp;id=%d" % (
            rnd.randrange(2000, 2025), rnd.choice(WORDS), rnd.randrange(10 ** 6))
    else:
        href = "%s.html#part-%d" % (rnd.choice(WORDS), rnd.randrange(9))
    return '<a href="%s" class="link link--inline" title="%s">%s</a>' % (href, rnd.choice(WORDS), text)


def paragraph(rnd):
    parts = []
    for w in words(rnd, rnd.randrange(40, 120)):
        r = rnd.random()
        if r < 0.05:
            parts.append(link(rnd, w))
        elif r < 0.07:
            parts.append("<strong>%s</strong>" % w)
        elif r < 0.09:
            parts.append('<em class="emph">%s</em>' % w)
        elif r < 0.10:
            parts.append('<span class="note" data-id="%d">%s</span>' % (rnd.randrange(9999), w))
        else:
            parts.append(w)
    return '<p class="para">%s.</p>\n' % " ".join(parts)


def table(rnd):
    rows = ["<tr><th>Name</th><th>Place</th><th>Year</th><th>Count</th></tr>"]
    for _ in range(rnd.randrange(5, 25)):
        rows.append('<tr><td>%s</td><td><a href="/place/%s">%s</a></td><td>%d</td><td align="right">%d</td></tr>' % (
            rnd.choice(WORDS), rnd.choice(WORDS), rnd.choice(WORDS), rnd.randrange(1900, 2025), rnd.randrange(10 ** 5)))
    return '<div class="table-wrap"><table class="data"><caption>%s</caption>%s</table></div>\n' % (
        " ".join(words(rnd, 4)), "".join(rows))


def lst(rnd):
    items = "".join('<li class="item"><span>%s</span> %s</li>' % (rnd.choice(WORDS), " ".join(words(rnd, 8)))
                    for _ in range(rnd.randrange(3, 9)))
    tag = rnd.choice(["ul", "ol"])
    return "<%s class=\"list\">%s</%s>\n" % (tag, items, tag)


HEAD = """<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Benchmark page \u2014 %s</title>
<link rel="stylesheet" href="/static/main.css">
<style>body{font:16px/1.5 serif}.para{margin:0 0 1em}.nav li{display:inline}</style>
<script>window.config={api:"/api",features:["a","b"]};function f(a,b){return a<b&&b>a}</script>
</head>
<body>
<header class="site"><a href="/" class="logo"><img src="/logo.svg" alt="Example Site"></a>
<nav class="nav"><ul><li><a href="/">Home</a></li><li><a href="/news/">News</a></li><li><a href="/about/">About</a></li></ul></nav>
<form class="search" action="/search" method="get"><input type="hidden" name="src" value="header"><input type="search" name="q" placeholder="Search"><button type="submit">Go</button></form>
</header>
<main><article>
"""

TAIL = """</article></main>
<footer><p>&copy; 2024 Example Site \u2014 <a href="/privacy">Privacy</a> \u00b7 <a href="mailto:x@example.org">Contact</a></p></footer>
<script src="/static/app.js"></script>
</body>
</html>
"""


def page(size, seed):
    rnd = random.Random(seed)
    parts = [HEAD % size]
    total = len(parts[0].encode("utf-8"))
    section = 0
    while total < size:
        section += 1
        chunk = ['<section class="section" id="s%d"><div class="wrap"><div class="inner">\n' % section,
                 "<h2>%s</h2>\n" % " ".join(words(rnd, 5)).title()]
        for _ in range(rnd.randrange(2, 6)):
            chunk.append(paragraph(rnd))
        if rnd.random() < 0.4:
            chunk.append(lst(rnd))
        if rnd.random() < 0.15:
            chunk.append(table(rnd))
        chunk.append("<!-- section %d ends -->\n</div></div></section>\n" % section)
        text = "".join(chunk)
        parts.append(text)
        total += len(text.encode("utf-8"))
    parts.append(TAIL)
    return "".join(parts)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: gen_pages.py OUTDIR")
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for name, size, seed in (("page_100k.html", 100 * KIB, 1), ("page_1m.html", MIB, 2), ("page_10m.html", 10 * MIB, 3)):
        with open(os.path.join(out, name), "w", encoding="utf-8") as f:
            f.write(page(size, seed))


if __name__ == "__main__":
    main()
