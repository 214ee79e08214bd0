#!/usr/bin/env python3
"""Writes the benchmark pages into a directory, the same bytes on every run.

Pages (names as written):
  text_100k.html, text_1m.html, text_10m.html
      Text-heavy pages of about 100 KiB, 1 MiB and 10 MiB: sections with a
      centred bold heading, paragraphs of words with some bold and underlined
      phrases, line breaks, rules, bulleted and numbered lists (some nested).
      Web addresses appear as plain text, not as links, so that no page has
      active elements and every browser shows the same words.
  table_2000.html
      A page with a 2,000-row, four-column table (cells without ALIGN and with
      ALIGN=LEFT, RIGHT and CENTER, some rows short of a cell), with
      paragraphs before and after it.

Only tags the browser knows are used (HTML, HEAD, TITLE, BODY, B, U, CENTER,
BR, HR, UL, OL, LI, TABLE, TR, TD). Source lines end with a blank before the
line feed: the browser drops line feeds inside text without leaving a blank,
so without it the last word of a line would run into the first of the next.

Usage: gen_pages.py OUTDIR
"""

import os
import random
import sys

WORDS = """
the of and to in is that for it as was with be by on not he this are or his
from at which but have an they you were her she there one all we their can
has been if more when will would who so no out up into do time only its about
than two may then first any new these some could our like over such also
other after most made through where before back well much how very between
even long great still own under last never same while might both without
another place around small every year found part people world house number
river mountain garden window letter evening morning station harbour village
library country question answer paper market bridge street winter summer
autumn spring travel journey message reader writer machine engine silver
orange yellow purple forest meadow island valley castle tower kettle button
""".split()

ADDRESS_HOSTS = ["www.example.org", "docs.example.net", "archive.example.com", "news.example.org"]

KIB = 1024
MIB = 1024 * KIB


class Writer:
    """Collects page text, wrapping prose into source lines of about 72 columns."""

    def __init__(self):
        self.parts = []
        self.size = 0

    def raw(self, text):
        self.parts.append(text)
        self.size += len(text)

    def prose(self, words):
        line, lines = [], []
        width = 0
        for w in words:
            if width + len(w) > 72 and line:
                lines.append(" ".join(line) + " \n")
                line, width = [], 0
            line.append(w)
            width += len(w) + 1
        if line:
            lines.append(" ".join(line) + " \n")
        self.raw("".join(lines))

    def text(self):
        return "".join(self.parts)


def sentence(rng, n_min=6, n_max=16):
    words = [rng.choice(WORDS) for _ in range(rng.randint(n_min, n_max))]
    words[0] = words[0].capitalize()
    words[-1] += "."
    return words


def paragraph(rng, section):
    """A paragraph of 4 to 9 sentences; some words wrapped in B or U tags, some
    sentences followed by a web address written as plain text."""
    words = []
    for _ in range(rng.randint(4, 9)):
        s = sentence(rng)
        roll = rng.random()
        if roll < 0.15:
            i = rng.randrange(len(s) - 1)
            s[i] = "<B>" + s[i]
            s[i + 1] = s[i + 1] + "</B>"
        elif roll < 0.25:
            i = rng.randrange(len(s))
            s[i] = "<U>" + s[i] + "</U>"
        elif roll < 0.32:
            host = rng.choice(ADDRESS_HOSTS)
            s += ["See", "http://%s/section%d/page%d.html" % (host, section, rng.randint(1, 99))]
        words += s
    return words


def text_page(target, seed):
    rng = random.Random(seed)
    w = Writer()
    w.raw("<HTML>\n<HEAD>\n<TITLE>Benchmark text page of %d KiB</TITLE>\n</HEAD>\n<BODY>\n" % (target // KIB))
    section = 0
    closing = "</BODY>\n</HTML>\n"
    while w.size + len(closing) < target:
        section += 1
        heading = " ".join(rng.choice(WORDS) for _ in range(rng.randint(2, 5))).title()
        w.raw("<CENTER><B>Section %d: %s</B></CENTER>\n<BR>\n" % (section, heading))
        for _ in range(rng.randint(2, 4)):
            w.prose(paragraph(rng, section))
            w.raw("<BR><BR>\n")
        kind = section % 3
        if kind == 0:
            w.raw("<UL>\n")
            for _ in range(rng.randint(3, 6)):
                w.raw("<LI>")
                w.prose(sentence(rng, 3, 10))
                w.raw("</LI>\n")
            if rng.random() < 0.5:
                w.raw("<LI>Details:\n<UL>\n")
                for _ in range(rng.randint(2, 4)):
                    w.raw("<LI>")
                    w.prose(sentence(rng, 2, 6))
                w.raw("</UL>\n")
            w.raw("</UL>\n")
        elif kind == 1:
            w.raw("<OL>\n")
            for _ in range(rng.randint(3, 8)):
                w.raw("<LI>")
                w.prose(sentence(rng, 3, 12))
                w.raw("</LI>\n")
            w.raw("</OL>\n")
        w.prose(paragraph(rng, section))
        w.raw("<HR>\n")
    w.raw(closing)
    return w.text()


def table_page(rows, seed):
    rng = random.Random(seed)
    w = Writer()
    w.raw("<HTML>\n<HEAD>\n<TITLE>Benchmark table of %d rows</TITLE>\n</HEAD>\n<BODY>\n" % rows)
    w.raw("<CENTER><B>Inventory</B></CENTER>\n<BR>\n")
    for _ in range(3):
        w.prose(paragraph(rng, 0))
        w.raw("<BR><BR>\n")
    w.raw("<TABLE>\n<TR><TD><B>Row</B></TD><TD ALIGN=RIGHT><B>Count</B></TD>"
          "<TD ALIGN=CENTER><B>Kind</B></TD><TD ALIGN=LEFT><B>Note</B></TD></TR>\n")
    for r in range(1, rows + 1):
        count = rng.randint(0, 10 ** rng.randint(1, 7))
        kind = rng.choice(WORDS)
        note = " ".join(rng.choice(WORDS) for _ in range(rng.randint(1, 5)))
        w.raw("<TR><TD>Row %d</TD><TD ALIGN=\"right\">%d</TD><TD align=center>%s</TD>" % (r, count, kind))
        if r % 17 != 0:  # every 17th row is short of its last cell
            w.raw("<TD ALIGN=LEFT>%s</TD>" % note)
        w.raw("</TR>\n")
    w.raw("</TABLE>\n<BR>\n")
    for _ in range(2):
        w.prose(paragraph(rng, 0))
        w.raw("<BR><BR>\n")
    w.raw("</BODY>\n</HTML>\n")
    return w.text()


def main():
    if len(sys.argv) != 2:
        sys.stderr.write("usage: gen_pages.py OUTDIR\n")
        return 2
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    pages = [
        ("text_100k.html", text_page(100 * KIB, 1)),
        ("text_1m.html", text_page(1 * MIB, 2)),
        ("text_10m.html", text_page(10 * MIB, 3)),
        ("table_2000.html", table_page(2000, 4)),
    ]
    for name, text in pages:
        # Bytes as generated: ASCII only, line feeds only.
        with open(os.path.join(out, name), "w", encoding="ascii", newline="\n") as f:
            f.write(text)
        print("%s %d" % (name, len(text)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
