#!/usr/bin/env python3
"""Reader-view benchmark: the corpus of article pages served from a local web
server, fetched through wexapserver over the browser's protocol, laid out by
the browser's own page code (screen_text) and scored against the article text
a person marked on each page (score.py). Run by run.sh, which builds the
programs; see there.

Modes: "full page" (wexapserver as it is) and "reader view" (wexapserver
--reader, measured only when the server has that option; "n/a" otherwise).
Everything listens and connects on 127.0.0.1 only.
"""

import argparse
import gzip
import http.server
import json
import os
import re
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import time

import score

FULL, READER = "full page", "reader view"
REPLY_TIMEOUT = 60.0  # seconds for one reply; the server's own fetch limit is 30
START_TIMEOUT = 20.0


# ---------------------------------------------------------------- web server


def declared_charset(body):
    """The charset a page's meta declares in its first 8 KB, or None."""
    match = re.search(rb"<meta[^>]+charset\s*=\s*[\"']?\s*([-\w:.]+)", body[:8192], re.I)
    return match.group(1).decode("ascii", "replace").lower() if match else None


def content_type(body):
    """What the page's own server would have sent: the charset the page
    declares, else UTF-8 when the bytes are UTF-8, else no charset (the
    proxy then decides from the bytes)."""
    charset = declared_charset(body)
    if charset is None:
        try:
            body.decode("utf-8")
            charset = "utf-8"
        except UnicodeDecodeError:
            pass
    return "text/html; charset=" + charset if charset else "text/html"


def serve(html_dir):
    """Serves html_dir/<id>.html.gz, decompressed, as /<id>.html on a free
    loopback port; prints the port on standard output, then serves until
    killed. Runs in its own process so that it never competes with the timed
    client for Python's interpreter lock. Every page is decompressed before
    the port is printed, so that no mode pays for it in its times."""
    pages = {}
    for name in os.listdir(html_dir):
        if name.endswith(".html.gz"):
            with gzip.open(os.path.join(html_dir, name)) as f:
                body = f.read()
            pages[name[: -len(".gz")]] = (body, content_type(body))

    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def log_message(self, *args):
            pass

        def do_GET(self):
            name = self.path.split("?", 1)[0].lstrip("/")
            body, ctype, status = b"no such page", "text/plain", 404
            if name in pages:
                (body, ctype), status = pages[name], 200
            self.send_response(status)
            self.send_header("Content-Type", ctype)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

    class Server(http.server.ThreadingHTTPServer):
        daemon_threads = True

        def handle_error(self, request, client_address):
            if not isinstance(sys.exc_info()[1], ConnectionError):
                super().handle_error(request, client_address)

    server = Server(("127.0.0.1", 0), Handler)
    print(server.server_address[1], flush=True)
    server.serve_forever()


def start_origin(html_dir):
    proc = subprocess.Popen([sys.executable, os.path.abspath(__file__), "--serve", html_dir],
                            stdout=subprocess.PIPE, text=True)
    line = proc.stdout.readline()
    if not line.strip().isdigit():
        proc.kill()
        raise RuntimeError("the local web server did not start")
    return proc, int(line)


# ------------------------------------------------------------- proxy server


def server_help(binary):
    return subprocess.run([binary, "--help"], capture_output=True, text=True, timeout=10).stdout


def start_proxy(binary, extra_args, log_path):
    """Starts wexapserver on a free loopback port; returns (process, port)."""
    env = {k: v for k, v in os.environ.items() if not k.lower().endswith("_proxy")}
    args = [binary, "--listen", "127.0.0.1", "--port", "0"]
    if "--allow-private-targets" in server_help(binary):
        args.append("--allow-private-targets")  # the pages come from 127.0.0.1
    with open(log_path, "wb") as log:
        proc = subprocess.Popen(args + extra_args, stdout=subprocess.DEVNULL, stderr=log, env=env)
    deadline = time.monotonic() + START_TIMEOUT
    while time.monotonic() < deadline:
        with open(log_path, errors="replace") as f:
            match = re.search(r"listening on 127\.0\.0\.1:(\d+)", f.read())
        if match:
            return proc, int(match.group(1))
        if proc.poll() is not None:
            break
        time.sleep(0.05)
    proc.kill()
    proc.wait()
    raise RuntimeError("wexapserver did not start; see " + log_path)


def stop(proc):
    if proc.poll() is None:
        proc.terminate()
        try:
            proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


def fetch(port, url):
    """Sends GET for url over the browser's protocol and reads the reply to
    its end line (six "~"), or to the end of the stream. Returns the reply
    and the milliseconds from the request sent to the reply's end."""
    with socket.create_connection(("127.0.0.1", port), timeout=REPLY_TIMEOUT) as sock:
        started = time.perf_counter()
        sock.sendall(("GET\n%s\n" % url).encode("ascii"))
        data = b""
        while True:
            if data.startswith(b"ERROR\n") and data.count(b"\n") >= 2:
                break
            if b"~~~~~~" in data[-(65536 + 6) :]:
                break
            chunk = sock.recv(65536)
            if not chunk:
                break
            data += chunk
        return data, (time.perf_counter() - started) * 1000


def browser_page(reply):
    """What the browser makes of a reply, by its reader's rules: lines of at
    most 511 bytes, the end at an empty line or six "~", the status from a
    line beginning OK or ERROR, the page from the lines after the first line
    that begins TRUE or FALSE. Returns (page bytes, None) or (None, reason)."""
    pos, status, flag, page, message = 0, None, False, [], None
    while True:
        line, tildes, ended, finished = bytearray(), 0, False, False
        while pos < len(reply):
            c = reply[pos]
            pos += 1
            tildes = tildes + 1 if c == 0x7E else 0
            if tildes == 6:
                finished = True
                break
            if c == 0x0A:
                ended = True
                break
            line.append(c)
            if len(line) == 511:
                break
        if finished or (not line and (ended or pos >= len(reply))):
            break
        if status == "ERROR" and message is None:
            message = line.decode("latin-1")
        if status == "OK" and flag:
            page.append(bytes(line))
        if status is None and line.startswith(b"OK"):
            status = "OK"
        elif status is None and line.startswith(b"ERROR"):
            status = "ERROR"
        if status == "OK" and (line.startswith(b"TRUE") or line.startswith(b"FALSE")):
            flag = True
    if status == "OK" and flag:
        return b"".join(page), None
    if status == "ERROR":
        return None, "ERROR " + (message or "")
    return None, "no page in the reply"


# ------------------------------------------------------------------ layout


def screen_rows(screen_text, work, page):
    """The page laid out by the browser's code: one string per page row."""
    with open(os.path.join(work, "cache", "p.html"), "wb") as f:
        f.write(page)
    out = os.path.join(work, "rows.txt")
    done = subprocess.run([screen_text, "p.html", out], cwd=work, stdout=subprocess.DEVNULL,
                          stderr=subprocess.PIPE, timeout=120)
    if done.returncode != 0:
        raise RuntimeError("screen_text failed: " + done.stderr.decode(errors="replace"))
    with open(out, encoding="ascii", errors="replace") as f:
        return f.read().split("\n")[:-1]


# ------------------------------------------------------------------- table


# Most rows the reader page's header block (title, byline, date) may take.
MAX_HEADER_ROWS = 8


def body_rows(rows):
    """The reader page's rows without its header lines: the "Full page" row,
    then the block of title, byline and date up to the first blank row."""
    at = 0
    if at < len(rows) and rows[at].strip() == "Full page":
        at += 1
    while at < len(rows) and not rows[at].strip():
        at += 1
    end = at
    while end < len(rows) and rows[end].strip():
        end += 1
    if end - at <= MAX_HEADER_ROWS and end < len(rows):
        at = end
    return rows[at:]


def median_row(rows):
    """The (lower) median start row, pages whose start was not found counted
    as below every row; "not found" when the median falls among those."""
    ranked = sorted(rows, key=lambda r: (r is None, r if r is not None else 0))
    middle = ranked[(len(ranked) - 1) // 2] if ranked else None
    return "not found" if middle is None else str(middle)


TABLE_ROW = "%-12s %5s %6s %9s %6s %9s %13s %8s"


def table_lines(results, modes, reader_available):
    lines = [TABLE_ROW % ("mode", "pages", "F1", "precision", "recall", "start row", "first screen", "ms/page"),
             TABLE_ROW % ("", "", "", "", "", "median", "(row < %d)" % score.FIRST_SCREEN_ROWS, "median")]
    for mode in (FULL, READER):
        if mode not in modes:
            continue
        if mode == READER and not reader_available:
            lines.append(TABLE_ROW % ((mode,) + ("n/a",) * 7))
            continue
        rows = [r for r in results if r["mode"] == mode]
        precision, recall, f1 = score.totals([(r["tp"], r["fp"], r["fn"]) for r in rows])
        first = sum(1 for r in rows if score.on_first_screen(r["start_row"]))
        share = 100.0 * first / len(rows) if rows else 0.0
        ms = statistics.median(r["ms"] for r in rows) if rows else 0.0
        lines.append(TABLE_ROW % (mode, len(rows), "%.3f" % f1, "%.3f" % precision, "%.3f" % recall,
                                  median_row([r["start_row"] for r in rows]), "%d (%.0f%%)" % (first, share),
                                  "%.1f" % ms))
        if mode == READER:
            precision, recall, f1 = score.totals([r["body"] for r in rows])
            lines.append(TABLE_ROW % ("  body only", len(rows), "%.3f" % f1, "%.3f" % precision,
                                      "%.3f" % recall, "", "", ""))
    return lines


# -------------------------------------------------------------------- main


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--serve", metavar="HTML_DIR", help=argparse.SUPPRESS)
    parser.add_argument("--server", help="the wexapserver program")
    parser.add_argument("--screen-text", help="the screen_text program")
    parser.add_argument("--articles", help="the corpus: html/*.html.gz and ground-truth.json")
    parser.add_argument("--out", help="directory for the per-page results")
    parser.add_argument("--pages", type=int, default=0, help="only the first N pages (by id)")
    parser.add_argument("--runs", type=int, default=1, help="timed requests per page and mode")
    only = parser.add_mutually_exclusive_group()
    only.add_argument("--reader-only", action="store_true")
    only.add_argument("--full-only", action="store_true")
    args = parser.parse_args()
    if args.serve:
        serve(args.serve)
        return 0
    for name in ("server", "screen_text", "articles", "out"):
        if not getattr(args, name):
            parser.error("--%s is required" % name.replace("_", "-"))
        # screen_text runs in a working directory of its own.
        setattr(args, name, os.path.abspath(getattr(args, name)))

    with open(os.path.join(args.articles, "ground-truth.json"), encoding="utf-8") as f:
        truth = json.load(f)
    html_dir = os.path.join(args.articles, "html")
    ids = sorted(name[: -len(".html.gz")] for name in os.listdir(html_dir) if name.endswith(".html.gz"))
    missing = [i for i in ids if i not in truth]
    if missing:
        print("no marked article text for %d pages, e.g. %s" % (len(missing), missing[0]), file=sys.stderr)
        return 1
    if args.pages > 0:
        ids = ids[: args.pages]
    if not ids:
        print("no pages in " + html_dir, file=sys.stderr)
        return 1

    reader_available = "--reader" in server_help(args.server)
    modes = [FULL] if args.full_only else [READER] if args.reader_only else [FULL, READER]
    measured = [m for m in modes if m == FULL or reader_available]

    os.makedirs(args.out, exist_ok=True)
    for mode in measured:
        text_dir = os.path.join(args.out, mode.replace(" ", "-"))
        shutil.rmtree(text_dir, ignore_errors=True)
        os.makedirs(text_dir)
    work = tempfile.mkdtemp(prefix="bench-reader-")
    os.makedirs(os.path.join(work, "cache"))
    origin = None
    proxies = {}
    results = []
    try:
        origin, origin_port = start_origin(html_dir)
        for mode in measured:
            extra = ["--reader"] if mode == READER else []
            log = os.path.join(args.out, "wexapserver-%s.log" % mode.replace(" ", "-"))
            proxies[mode] = start_proxy(args.server, extra, log)
            # One untimed request first: the server's first fetch also sets
            # up what later fetches reuse.
            fetch(proxies[mode][1], "http://127.0.0.1:%d/%s.html" % (origin_port, ids[0]))
        for n, page_id in enumerate(ids, 1):
            url = "http://127.0.0.1:%d/%s.html" % (origin_port, page_id)
            article = truth[page_id].get("articleBody") or ""
            # The modes take turns page by page, and which goes first
            # alternates, so that changes in the machine's load and whatever
            # the first request leaves warm weigh on both alike.
            for mode in measured if n % 2 else measured[::-1]:
                times, reply = [], b""
                for _ in range(max(1, args.runs)):
                    reply, ms = fetch(proxies[mode][1], url)
                    times.append(ms)
                page, problem = browser_page(reply)
                rows = screen_rows(args.screen_text, work, page) if page is not None else []
                text_path = os.path.join(args.out, mode.replace(" ", "-"), page_id + ".txt")
                with open(text_path, "w", encoding="ascii", errors="replace") as f:
                    f.write("".join(r + "\n" for r in rows))
                tp, fp, fn = score.page_counts(article, "\n".join(rows))
                body = score.page_counts(article, "\n".join(body_rows(rows) if mode == READER else rows))
                results.append({"body": body, "id": page_id, "mode": mode, "problem": problem or "", "tp": tp, "fp": fp,
                                "fn": fn, "start_row": score.start_row(article, rows),
                                "ms": statistics.median(times), "rows": len(rows)})
            if n % 20 == 0 or n == len(ids):
                print("  %d of %d pages" % (n, len(ids)), file=sys.stderr, flush=True)
    finally:
        for proc, _ in proxies.values():
            stop(proc)
        if origin is not None:
            stop(origin)
        shutil.rmtree(work, ignore_errors=True)

    tsv = os.path.join(args.out, "pages.tsv")
    with open(tsv, "w") as f:
        f.write("id\tmode\ttp\tfp\tfn\tf1\tstart_row\tms\trows\tproblem\n")
        for r in results:
            _, _, f1 = score.totals([(r["tp"], r["fp"], r["fn"])])
            f.write("%s\t%s\t%.4f\t%.4f\t%.4f\t%.4f\t%s\t%.1f\t%d\t%s\n" % (
                r["id"], r["mode"], r["tp"], r["fp"], r["fn"], f1,
                "" if r["start_row"] is None else r["start_row"], r["ms"], r["rows"], r["problem"]))

    print()
    print("Reader benchmark: %d article pages through wexapserver, as the browser lays them out on 80 columns"
          % len(ids))
    print("Tokens folded to ASCII with %s; shingles of %d tokens; ms: request sent to reply end"
          % (score.FOLDING, score.SHINGLE_SIZE))
    print("(%d cores, load average %.2f %.2f %.2f)" % ((os.cpu_count() or 0,) + os.getloadavg()))
    print()
    for line in table_lines(results, modes, reader_available):
        print(line)
    if FULL in measured and READER in measured:
        full_ms = {r["id"]: r["ms"] for r in results if r["mode"] == FULL}
        ratios = [r["ms"] / full_ms[r["id"]] for r in results if r["mode"] == READER and full_ms[r["id"]] > 0]
        if ratios:
            print("reader view time / full page time: %.2f (median over pages)" % statistics.median(ratios))
            print("body only: the reader view without its first lines (\"Full page\", title, byline, date),"
                  " which the marked article text never holds; the published extractors are scored on the"
                  " body they extract, so this is the row to compare with them")
    if not reader_available and READER in modes:
        print("reader view: n/a (this wexapserver has no --reader option)")
    failed = [r for r in results if r["problem"]]
    if failed:
        print("%d replies without a page (scored as empty), e.g. %s: %s"
              % (len(failed), failed[0]["id"][:12], failed[0]["problem"]))
    print("per page: " + tsv)
    return 0


if __name__ == "__main__":
    sys.exit(main())
