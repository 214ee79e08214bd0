#!/usr/bin/env python3
"""Pages and the table of the normaliser benchmark (run.sh).

    pages.py proxy-page ARTICLE OUT   the 50 KB page of bench/proxy/run.sh
    pages.py corpus HTMLDIR OUTDIR    the corpus pages, unpacked (*.html.gz)
    pages.py table RESULTS            the table from normaliser_bench's lines
"""

import gzip
import os
import sys


def proxy_page(article, out):
    # The page bench/proxy/run.sh serves (it calls this): the demo article's prose,
    # tables and links, repeated to 50 KB.
    text = open(article).read()
    body = text[text.index("<BODY>") + 6 : text.index("</BODY>")]
    row = "<TR><TD>Row %d</TD><TD ALIGN=RIGHT>%d</TD><TD><A HREF=item%d.html>item %d</A></TD></TR>\n"
    parts, n = ["<HTML><HEAD><TITLE>Benchmark page</TITLE></HEAD><BODY>\n"], 0
    while sum(map(len, parts)) < 50 * 1024 - 1200:
        parts.append(body)
        parts.append("<TABLE>\n" + "".join(row % (n + i, (n + i) * 37, n + i, n + i) for i in range(10)) + "</TABLE>\n")
        n += 10
    page = "".join(parts)
    page = page[: 50 * 1024 - 20] + "\n</BODY></HTML>\n"
    open(out, "w").write(page)


def corpus(htmldir, outdir):
    for name in sorted(os.listdir(htmldir)):
        if name.endswith(".html.gz"):
            with gzip.open(os.path.join(htmldir, name)) as packed:
                data = packed.read()
            with open(os.path.join(outdir, name[: -len(".gz")]), "wb") as page:
                page.write(data)


GROUPS = [("corpus < 50 KB", 0, 50 * 1024), ("corpus 50-200 KB", 50 * 1024, 200 * 1024),
          ("corpus > 200 KB", 200 * 1024, float("inf")), ("corpus, all", 0, float("inf"))]
# A page over this ratio is counted under the table.
RATIO_GOAL = 1.3
NAMED = {"page_100k.html": "100 KB", "page_1m.html": "1 MB", "page_10m.html": "10 MB",
         "proxy_bench.html": "proxy bench"}


def median(values):
    values = sorted(values)
    return values[len(values) // 2]


def table(results):
    rows = []
    for line in open(results):
        fields = dict(field.split("=", 1) for field in line.split())
        rows.append((fields["page"], int(fields["bytes"]), float(fields["parse_cpu_ms"]),
                     float(fields["total_cpu_ms"]), float(fields["ratio"])))
    print("%-17s %5s %9s %10s %10s %7s %7s" % ("page", "pages", "KB", "parse ms", "total ms", "ratio", "worst"))
    for page, size, parse, total, ratio in rows:
        if page in NAMED:
            print("%-17s %5d %9.0f %10.2f %10.2f %7.2f %7s" % (NAMED[page], 1, size / 1024, parse, total, ratio, "-"))
    for label, low, high in GROUPS:
        group = [row for row in rows if row[0] not in NAMED and low <= row[1] < high]
        if not group:
            continue
        print("%-17s %5d %9.0f %10.2f %10.2f %7.2f %7.2f" % (
            label, len(group), median([r[1] for r in group]) / 1024, median([r[2] for r in group]),
            median([r[3] for r in group]), median([r[4] for r in group]), max(r[4] for r in group)))
    print("(KB, parse ms, total ms: medians over the group; ratio: total / parse, processor time)")
    corpus = [row for row in rows if row[0] not in NAMED]
    if corpus:
        over = sorted((row for row in corpus if row[4] > RATIO_GOAL), key=lambda row: -row[4])
        print("corpus pages over %.1f: %d of %d%s" % (RATIO_GOAL, len(over), len(corpus), ":" if over else ""))
        for page, size, parse, total, ratio in over:
            print("  %-20s %7.0f KB %6.2f" % (page[:16] + "...", size / 1024, ratio))
        print("corpus, whole time over parse time of all its pages: %.2f"
              % (sum(row[3] for row in corpus) / sum(row[2] for row in corpus)))


if __name__ == "__main__":
    command = sys.argv[1] if len(sys.argv) > 1 else ""
    if command == "proxy-page" and len(sys.argv) == 4:
        proxy_page(sys.argv[2], sys.argv[3])
    elif command == "corpus" and len(sys.argv) == 4:
        corpus(sys.argv[2], sys.argv[3])
    elif command == "table" and len(sys.argv) == 3:
        table(sys.argv[2])
    else:
        sys.exit(__doc__)
