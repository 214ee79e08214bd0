#!/usr/bin/env python3
"""The page cache through the real wexapserver, in front of a local web
server that counts the requests it gets: a page the rules let a shared
cache keep is fetched once and then served from the cache (the log says
"hit"), pages that set cookies, are private or no-store are fetched every
time, a stale page with an ETag is revalidated with If-None-Match and the
304 serves the kept page, and a client whose cookie jar holds a cookie for
the site is never served from the cache. Everything listens and connects on
127.0.0.1 only.

Usage: cache_protocol_test.py PATH_TO_WEXAPSERVER
"""

import collections
import http.server
import os
import random
import re
import signal
import socket
import string
import subprocess
import sys
import tempfile
import threading
import time
import unittest

from origin import BodySender

SERVER_BINARY = None
ORIGIN = None
COUNTS = collections.Counter()  # path and query -> requests the origin got
CONDITIONS = collections.defaultdict(list)  # path and query -> If-None-Match values, in order
LOCK = threading.Lock()

# A link stored in the token store: random letters, so that it cannot be
# sealed into a token of the browser's length instead.
_LETTERS = random.Random(7)
LONG_TARGET = "/target/" + "".join(_LETTERS.choice(string.ascii_lowercase) for _ in range(200))


class Origin(BodySender, http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        path = self.path.split("?")[0]
        with LOCK:
            COUNTS[self.path] += 1
            CONDITIONS[self.path].append(self.headers.get("If-None-Match"))
        headers = {
            "/public.html": [("Cache-Control", "public, max-age=300")],
            "/cookie.html": [("Cache-Control", "public, max-age=300"), ("Set-Cookie", "seen=1")],
            "/private.html": [("Cache-Control", "private, max-age=300")],
            "/nostore.html": [("Cache-Control", "no-store")],
            "/etag.html": [("Cache-Control", "max-age=0"), ("ETag", '"v1"')],
            "/later.html": [("Cache-Control", "max-age=300")],
        }.get(path, [])
        if path == "/etag.html" and self.headers.get("If-None-Match") == '"v1"':
            self.send_response(304)
            self.send_header("ETag", '"v1"')
            self.send_header("Cache-Control", "max-age=0")
            self.end_headers()
            return
        body = ("<html><title>%s</title><p>Page %s, fetch %d. <a href='%s'>long link</a>"
                "<form action='/send'><input name=q></form></html>" % (path, path, COUNTS[self.path], LONG_TARGET)).encode()
        self.send_body(body, headers=headers)


class OriginServer(http.server.ThreadingHTTPServer):
    daemon_threads = True


def origin_url(path):
    return "http://127.0.0.1:%d%s" % (ORIGIN.server_address[1], path)


def ask(port, url, command="GET"):
    with socket.create_connection(("127.0.0.1", port), timeout=20) as sock:
        sock.sendall(("%s\n%s\n" % (command, url)).encode())
        data = b""
        while b"~~~~~~" not in data and not data.startswith(b"ERROR\n"):
            chunk = sock.recv(65536)
            if not chunk:
                break
            data += chunk
        return data.decode("latin-1")


class Proxy:
    """A wexapserver on a free port, its log in a file."""

    def __init__(self, *extra):
        self.log = tempfile.NamedTemporaryFile(prefix="wexapserver-cache-", suffix=".log", delete=False)
        env = {k: v for k, v in os.environ.items() if not k.lower().endswith("_proxy")}
        self.proc = subprocess.Popen([SERVER_BINARY, "--port", "0", "--workers", "4"] + list(extra),
                                     stdout=subprocess.DEVNULL, stderr=self.log, env=env)
        deadline = time.time() + 20
        while time.time() < deadline:
            match = re.search(r"listening on 127\.0\.0\.1:(\d+)", self.text())
            if match:
                self.port = int(match.group(1))
                return
            time.sleep(0.05)
        self.proc.kill()
        raise RuntimeError("wexapserver did not start")

    def text(self):
        with open(self.log.name) as f:
            return f.read()

    def get(self, path, command="GET"):
        return ask(self.port, origin_url(path), command)

    def outcomes(self, path):
        """The cache outcome of each logged request for path, in order."""
        pattern = r"GET %s OK \w+ \d+ bytes \d+ ms cache (\w+)" % re.escape(origin_url(path))
        return re.findall(pattern, self.text())

    def stop(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            self.proc.wait(timeout=20)
        os.unlink(self.log.name)


def stored_link_token(reply):
    match = re.search(r"HREF=(~~Lt[0-9a-z]+)>long link", reply)
    assert match, reply
    return match.group(1)


class PageCache(unittest.TestCase):
    # A proxy of its own for each test: cookies a site sets stay in the jar
    # of the proxy's client.
    def setUp(self):
        self.proxy = Proxy()

    def tearDown(self):
        self.proxy.stop()

    def test_a_cacheable_page_is_fetched_once(self):
        first = self.proxy.get("/public.html")
        second = self.proxy.get("/public.html")
        time.sleep(0.2)
        self.assertEqual(COUNTS["/public.html"], 1)
        self.assertIn("fetch 1.", second)
        self.assertTrue(second.startswith("OK\nTRUE\n"), second[:40])
        self.assertEqual(self.proxy.outcomes("/public.html"), ["miss", "hit"])
        # The page served from the cache has tokens of its own, and they work.
        token = stored_link_token(second)
        self.assertNotEqual(token, stored_link_token(first))
        followed = ask(self.proxy.port, token)
        self.assertTrue(followed.startswith("OK\n"), followed[:60])
        self.assertEqual(COUNTS[LONG_TARGET], 1)

    def test_pages_that_may_not_be_shared_are_fetched_every_time(self):
        for path in ("/cookie.html", "/private.html", "/nostore.html"):
            for _ in range(3):
                self.proxy.get(path)
            time.sleep(0.2)
            self.assertEqual(COUNTS[path], 3, path)
            self.assertEqual(self.proxy.outcomes(path), ["uncacheable"] * 3, path)
        # The browser's own cache flag is as it was: FALSE for no-store and private.
        self.assertTrue(self.proxy.get("/nostore.html").startswith("OK\nFALSE\n"))
        self.assertTrue(self.proxy.get("/private.html").startswith("OK\nFALSE\n"))

    def test_a_stale_page_is_revalidated_and_the_304_serves_it(self):
        first = self.proxy.get("/etag.html")
        second = self.proxy.get("/etag.html")
        time.sleep(0.2)
        self.assertEqual(CONDITIONS["/etag.html"], [None, '"v1"'])
        self.assertIn("fetch 1.", second)
        self.assertEqual(re.sub(r"~~(Lt|F)\w+", "", first), re.sub(r"~~(Lt|F)\w+", "", second))
        self.assertEqual(self.proxy.outcomes("/etag.html"), ["miss", "revalidated"])

    def test_reload_skips_the_cache(self):
        self.proxy.get("/later.html")
        reloaded = self.proxy.get("/later.html", "REFRESH")
        self.assertIn("fetch 2.", reloaded)
        # The reload's page replaced the kept one.
        self.assertIn("fetch 2.", self.proxy.get("/later.html"))
        self.assertEqual(COUNTS["/later.html"], 2)


class CookiesInTheJar(unittest.TestCase):
    def test_a_client_with_cookies_for_the_site_is_not_served_from_the_cache(self):
        proxy = Proxy()
        try:
            path = "/public.html?jar"
            proxy.get(path)
            proxy.get(path)
            self.assertEqual(COUNTS[path], 1)
            proxy.get("/cookie.html?jar")  # the site sets a cookie for this client
            proxy.get(path)
            proxy.get(path)
            self.assertEqual(COUNTS[path], 3)
            time.sleep(0.2)
            self.assertEqual(proxy.outcomes(path), ["miss", "hit", "uncacheable", "uncacheable"])
        finally:
            proxy.stop()



class Switches(unittest.TestCase):
    def test_no_cache_bytes_turns_the_cache_off(self):
        proxy = Proxy("--cache-bytes", "0")
        try:
            proxy.get("/public.html?off")
            proxy.get("/public.html?off")
            self.assertEqual(COUNTS["/public.html?off"], 2)
            self.assertNotIn(" cache ", proxy.text())
        finally:
            proxy.stop()

    def test_the_summary_is_logged_at_the_end(self):
        proxy = Proxy()
        proxy.get("/public.html?summary")
        proxy.get("/public.html?summary")
        proxy.proc.send_signal(signal.SIGTERM)
        proxy.proc.wait(timeout=20)
        self.assertRegex(proxy.text(), r"page cache: 1 hits, 1 misses, 0 revalidated, 0 uncacheable; 1 pages, \d+ of \d+ bytes")
        proxy.stop()


def main():
    global SERVER_BINARY, ORIGIN
    SERVER_BINARY = sys.argv.pop(1)
    ORIGIN = OriginServer(("127.0.0.1", 0), Origin)
    threading.Thread(target=ORIGIN.serve_forever, daemon=True).start()
    try:
        unittest.main(verbosity=2)
    finally:
        ORIGIN.shutdown()


if __name__ == "__main__":
    main()
