#!/usr/bin/env python3
"""The offline demo site of the wexa browser.

Serves the pages in demo/site on 127.0.0.1 and answers the demo forms
(/submit and /search, by GET or POST) with a page that shows exactly what
was received.

Usage: demosite.py [PORT]     (default 30080; 0 picks a free port)
The first line on standard output names the address it listens on.
"""

import http.server
import os
import sys
import urllib.parse

SITE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "site")
# The pages write their full links with this address; when the site runs on
# another port, the pages it serves are rewritten to match.
PAGE_BASE = b"http://127.0.0.1:30080"
TYPES = {".html": "text/html; charset=us-ascii", ".txt": "text/plain; charset=us-ascii"}
FORM_PATHS = ("/submit", "/search")


def shown(data: bytes) -> str:
    """Bytes as text the browser shows exactly, with nothing it could read as
    markup. The browser knows no character references (it only turns
    &nbsp; into a blank), so the bytes it cannot show faithfully are written
    as %XX: "%" itself, "<", ">", "&", control and non-ASCII bytes, and the
    blanks it would merge or drop (runs of blanks, blanks at either end)."""
    out = []
    for i, byte in enumerate(data):
        blank_at_risk = byte == 0x20 and (i == 0 or i == len(data) - 1 or data[i - 1] == 0x20)
        if byte < 0x20 or byte >= 0x7F or chr(byte) in "%<>&" or blank_at_risk:
            out.append("%%%02X" % byte)
        else:
            out.append(chr(byte))
    return "".join(out)


def answer_page(method: str, path: str, raw: bytes, content_type: str) -> bytes:
    pairs = urllib.parse.parse_qsl(raw.decode("latin-1"), keep_blank_values=True, encoding="latin-1")
    lines = [
        "<HTML><HEAD><TITLE>What the server received</TITLE></HEAD><BODY>",
        "<CENTER><B>What the server received</B></CENTER><HR>",
        "Method: <B>%s </B><BR>" % method,
        "Address: <B>%s </B><BR>" % shown(path.encode("latin-1")),
    ]
    if method == "POST":
        lines.append("Content type: <B>%s </B><BR>" % shown(content_type.encode("latin-1")))
    lines.append("Raw data (%d bytes): %s<BR><BR>" % (len(raw), shown(raw) or "(none)"))
    lines.append("%d field%s, in the order received; each name and value stands in brackets, and "
                 "characters this browser cannot show are written as %%XX:" % (len(pairs), "" if len(pairs) == 1 else "s"))
    lines.append("<OL>")
    for name, value in pairs:
        lines.append("<LI>[%s] = [%s]" % (shown(name.encode("latin-1")), shown(value.encode("latin-1"))))
    lines.append("</OL>")
    lines.append("<HR>Back to <A HREF=http://127.0.0.1:30080/form.html>the order form</A></BODY></HTML>")
    return "\n".join(lines).encode("ascii")


class DemoHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "wexa-demo/1.0"

    def log_message(self, fmt, *args):
        if os.environ.get("WEXA_DEMO_VERBOSE"):
            super().log_message(fmt, *args)

    def send_bytes(self, status, body, content_type, extra=()):
        if content_type.startswith("text/html"):
            body = self.server.rewrite(body)
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        for name, value in extra:
            self.send_header(name, value)
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def not_found(self):
        body = b"<HTML><TITLE>Not found</TITLE><B>No such page on the demo site.</B></HTML>"
        self.send_bytes(404, body, TYPES[".html"])

    def embedded_url(self, path):
        # The browser appends every link to the folder of the page that holds
        # it, so a link written in full can arrive glued to that folder;
        # send the browser on to the address that was meant.
        for scheme in ("/http://", "/https://"):
            at = path.find(scheme)
            if at >= 0:
                return path[at + 1 :]
        return None

    def do_GET(self):
        path, _, query = self.path.partition("?")
        target = self.embedded_url(self.path)
        if target:
            self.send_response(302)
            self.send_header("Location", target)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        if path in FORM_PATHS:
            self.send_bytes(200, answer_page("GET", path, query.encode("latin-1"), ""), TYPES[".html"],
                            [("Cache-Control", "no-store")])
            return
        self.send_file(urllib.parse.unquote(path))

    do_HEAD = do_GET

    def do_POST(self):
        path = self.path.partition("?")[0]
        try:
            length = int(self.headers.get("Content-Length", "0"))
        except ValueError:
            length = -1
        if length < 0 or length > 1024 * 1024:
            self.send_bytes(413, b"<B>Too much data.</B>", TYPES[".html"])
            return
        raw = self.rfile.read(length)
        if path not in FORM_PATHS:
            self.not_found()
            return
        content_type = self.headers.get("Content-Type", "")
        self.send_bytes(200, answer_page("POST", path, raw, content_type), TYPES[".html"],
                        [("Cache-Control", "no-store")])

    def send_file(self, path):
        root = os.path.realpath(SITE)
        full = os.path.realpath(os.path.join(root, path.lstrip("/")))
        if full != root and not full.startswith(root + os.sep):
            self.not_found()
            return
        if os.path.isdir(full):
            full = os.path.join(full, "index.html")
        if not os.path.isfile(full):
            self.not_found()
            return
        with open(full, "rb") as f:
            body = f.read()
        content_type = TYPES.get(os.path.splitext(full)[1], "application/octet-stream")
        # The site's files change only with the site: a minute in any cache,
        # so that the proxy's shared page cache shows in its log.
        self.send_bytes(200, body, content_type, [("Cache-Control", "public, max-age=60")])


class DemoServer(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def rewrite(self, body):
        base = b"http://127.0.0.1:%d" % self.server_address[1]
        return body if base == PAGE_BASE else body.replace(PAGE_BASE, base)


def main():
    port = int(sys.argv[1]) if len(sys.argv) > 1 else 30080
    server = DemoServer(("127.0.0.1", port), DemoHandler)
    print("demo site listening on http://127.0.0.1:%d/" % server.server_address[1], flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    finally:
        server.server_close()


if __name__ == "__main__":
    main()
