#!/usr/bin/env python3
"""Protocol tests of wexapserver: a raw socket client speaking the browser's
line protocol to the real server, which stands in front of a local web
server. Everything listens and connects on 127.0.0.1 only.

Usage: protocol_test.py PATH_TO_WEXAPSERVER
"""

import hashlib
import http.server
import os
import re
import resource
import shutil
import signal
import socket
import ssl
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import urllib.parse
import zlib

from origin import BodySender
from replyreader import read_reply

SERVER_BINARY = None
ORIGIN = None  # the local web server
PROXY = None  # the wexapserver process
PROXY_PORT = 0
LOG_PATH = None
READ_TIMEOUT = 3.0

TRICKY_BODY = (
    b"<HTML><TITLE>tricky</TITLE>\n\n\nTRUE at a line start\nFALSE too\r\n"
    + b"~" * 13 + b"\n~~~~~~\n" + b"x" * 2000 + b"\nOK\nERROR\n\x00nul\n\xffend</HTML>\n"
)

# Links with long targets: a reply of about 4 MB, more than a socket holds.
MANY_LINKS = [b"L%05d" % i for i in range(28000)]
MANY_LINKS_BODY = b"<HTML><TITLE>links</TITLE><P>" + b" ".join(
    b'<A HREF="/p/%s/%s">%s</A>' % (b"d" * 100, text, text) for text in MANY_LINKS) + b"</P></HTML>"


# 240 hexadecimal digits that no compressor shortens enough to seal.
RANDOM_QUERY = b"".join(hashlib.sha256(b"%d" % i).hexdigest().encode() for i in range(4))[:240]


class Origin(BodySender, http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def redirect(self, location):
        self.send_response(302)
        self.send_header("Location", location)
        self.send_header("Content-Length", "0")
        self.end_headers()

    def do_GET(self):
        path, _, query = self.path.partition("?")
        if self.path.startswith("http://"):
            # Asked as a forward proxy: the request line holds the whole URL.
            self.send_body(b"proxied[" + self.path.encode() + b"]")
        elif path == "/gzip.html":
            if "gzip" not in self.headers.get("Accept-Encoding", ""):
                self.send_body(b"client does not accept gzip", status=406)
                return
            packer = zlib.compressobj(wbits=31)
            packed = packer.compress(b"<B>unpacked</B>" * 100) + packer.flush()
            self.send_body(packed, headers=[("Content-Encoding", "gzip")])
        elif path == "/page.html":
            self.send_body(b"<HTML><TITLE>Page</TITLE><B>Hello</B> world</HTML>")
        elif path == "/links.html":
            # Long and compressible: sealed; long and random: stored.
            self.send_body(b'<p><a href="page.html">short</a> <a href="/page.html?' + b"q=" + b"x" * 200
                           + b'">long</a> <a href="/page.html?r=' + RANDOM_QUERY
                           + b'">random</a> <a href="mailto:x@y">mail</a></p>')
        elif path == "/tricky.html":
            self.send_body(TRICKY_BODY)
        elif path == "/redirect":
            hops = int(query or "0")
            if hops > 0:
                self.redirect("/redirect?%d" % (hops - 1))
            else:
                self.send_body(b"<B>arrived</B>")
        elif path == "/loop":
            self.redirect("/loop")
        elif path == "/to-file":
            self.redirect("file:///etc/passwd")
        elif path == "/setcookie":
            self.send_body(b"set", headers=[("Set-Cookie", "session=abc123; Path=/")])
        elif path == "/showcookie":
            self.send_body(b"cookie[" + self.headers.get("Cookie", "").encode() + b"]")
        elif path == "/echo":
            self.send_body(b"query[" + query.encode("latin-1") + b"]", headers=[("Cache-Control", "max-age=60")])
        elif path == "/headers":
            text = "cc[%s] pragma[%s] ua[%s]" % (
                self.headers.get("Cache-Control", ""),
                self.headers.get("Pragma", ""),
                self.headers.get("User-Agent", ""),
            )
            self.send_body(text.encode())
        elif path == "/cache":
            self.send_body(b"cached?", headers=[("Cache-Control", urllib.parse.unquote(query))])
        elif path == "/image.png":
            self.send_body(b"\x89PNG" + b"\0" * 5000, content_type="image/png")
        elif path == "/plain.txt":
            self.send_body(b"a<b\n</HTML>", content_type="text/plain")
        elif path == "/big":
            self.send_body(b"x" * (2 * 1024 * 1024))
        elif path == "/many-links.html":
            self.send_body(MANY_LINKS_BODY)
        elif path == "/greeting.html":
            # The language the server names, when asked to name one.
            headers = [("Content-Language", query)] if query else []
            self.send_body("<p>Gr\u00fc\u00dfe aus M\u00fcnchen</p>".encode(), "text/html; charset=utf-8", 200,
                           headers)
        else:
            self.send_body(b"<B>no such page</B>", status=404)

    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(length)
        if self.path == "/echo":
            ctype = self.headers.get("Content-Type", "")
            self.send_body(b"type[" + ctype.encode() + b"] body[" + body + b"]")
        else:
            self.send_body(b"no", status=404)


class OriginServer(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        # The proxy hangs up on pages it refuses (too large, not text).
        if not isinstance(sys.exc_info()[1], ConnectionError):
            super().handle_error(request, client_address)


def origin_url(path):
    return "http://127.0.0.1:%d%s" % (ORIGIN.server_address[1], path)


def connect(port=None):
    return socket.create_connection(("127.0.0.1", port or PROXY_PORT), timeout=20)


def exchange(request_bytes, port=None):
    with connect(port) as sock:
        sock.sendall(request_bytes)
        return read_reply(sock)


def get(url, command="GET", port=None):
    return exchange(("%s\n%s\n" % (command, url)).encode("latin-1"), port)


def form(command, action, fields):
    text = "%s\n%s\n%d\n" % (command, action, len(fields))
    for name, value in fields:
        text += "%s\n%s\n" % (name, value)
    text += "\n~~~\n"
    return exchange(text.encode("latin-1"))


def browser_view(reply):
    """What the browser's reader makes of a reply: (status, flag, page), with
    its 511-byte pieces and its end rules."""
    pos, status, flag, page = 0, None, None, b""
    while True:
        line, tildes, ended = b"", 0, False
        while pos < len(reply):
            c = reply[pos : pos + 1]
            pos += 1
            tildes = tildes + 1 if c == b"~" else 0
            if tildes == 6:
                return status, flag, page
            if c == b"\n":
                ended = True
                break
            line += c
            if len(line) == 511:
                break
        if not line and (ended or pos >= len(reply)):
            return status, flag, page
        if status == "OK" and flag:
            page += line
        if status is None and line.startswith(b"OK"):
            status = "OK"
        elif status is None and line.startswith(b"ERROR"):
            status = "ERROR"
        if status == "OK" and line.startswith(b"TRUE"):
            flag = "TRUE"
        if status == "OK" and line.startswith(b"FALSE"):
            flag = "FALSE"


def page_of(reply):
    status, flag, page = browser_view(reply)
    assert status == "OK", reply[:200]
    return flag, page


def shown(page):
    """The text of a normalised page as the browser shows it: the title
    left out, the tags that only part or break lines read as blanks."""
    page = re.sub(rb"^<TITLE>.*?</TITLE>", b"", page)
    return page.replace(b"</IMG>", b"").replace(b"<BR>", b" ").replace(b"&nbsp", b" ")


def start_proxy(extra_args=(), extra_env=(), max_files=None):
    """Starts wexapserver on a free port (with at most max_files descriptors
    when given); returns the process, its port and the file that holds its
    log."""
    env = {k: v for k, v in os.environ.items() if not k.lower().endswith("_proxy")}
    env.update(extra_env)
    log = tempfile.NamedTemporaryFile(prefix="wexapserver-", suffix=".log", delete=False)
    log_path = log.name
    args = [SERVER_BINARY, "--port", "0", "--read-timeout", str(READ_TIMEOUT), "--workers", "4",
            "--max-page", "1048576", "--max-redirects", "5", "--user-agent", "ProtocolTest/1"]
    limit = (lambda: resource.setrlimit(resource.RLIMIT_NOFILE, (max_files, max_files))) if max_files else None
    proc = subprocess.Popen(args + list(extra_args), stdout=subprocess.DEVNULL, stderr=log, env=env,
                            preexec_fn=limit)
    deadline = time.time() + 20
    while time.time() < deadline:
        with open(log_path) as f:
            match = re.search(r"listening on 127\.0\.0\.1:(\d+)", f.read())
        if match:
            return proc, int(match.group(1)), log_path
        if proc.poll() is not None:
            raise RuntimeError("wexapserver exited at start-up")
        time.sleep(0.05)
    proc.kill()
    raise RuntimeError("wexapserver did not start")


def cpu_ticks(pid):
    """User and system CPU time a process has used, in clock ticks."""
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])


def setUpModule():
    global ORIGIN, PROXY, PROXY_PORT, LOG_PATH
    ORIGIN = OriginServer(("127.0.0.1", 0), Origin)
    threading.Thread(target=ORIGIN.serve_forever, daemon=True).start()
    PROXY, PROXY_PORT, LOG_PATH = start_proxy()


def tearDownModule():
    if PROXY and PROXY.poll() is None:
        PROXY.kill()
        PROXY.wait()
    if ORIGIN:
        ORIGIN.shutdown()
        ORIGIN.server_close()
    if LOG_PATH:
        os.unlink(LOG_PATH)


class Commands(unittest.TestCase):
    def test_ping_answers_alive(self):
        self.assertEqual(exchange(b"PING\n"), b"ALIVE\n")

    def test_get_returns_the_page_cacheable(self):
        reply = get(origin_url("/page.html"))
        # Rewritten for the browser: a blank after a tag survives as "&nbsp".
        self.assertEqual(reply, b"OK\nTRUE\n<TITLE>Page</TITLE><B>Hello</B>&nbspworld\n~~~~~~\n")

    def test_refresh_bypasses_caches_and_sends_the_user_agent(self):
        refreshed = page_of(get(origin_url("/headers"), "REFRESH"))[1]
        self.assertEqual(refreshed, b"cc[no-cache] pragma[no-cache] ua[ProtocolTest/1]")
        plain = page_of(get(origin_url("/headers")))[1]
        self.assertEqual(plain, b"cc[] pragma[] ua[ProtocolTest/1]")

    def test_unknown_and_malformed_requests_get_an_error_line(self):
        self.assertEqual(exchange(b"DELETE\nhttp://x/\n"), b"ERROR\nUnknown request\n")
        self.assertEqual(exchange(b"FORM-GET\nhttp://x/\nlots\n"), b"ERROR\nBad form: count is not a number\n")
        self.assertEqual(exchange(b"FORM-GET\nhttp://x/\n1\na\nb\nc\n"), b"ERROR\nBad form: fields do not match count\n")
        # Without --proxy-protocol a PROXY header is no request: nobody may
        # name another client to a server that does not expect a balancer.
        self.assertEqual(exchange(b"PROXY TCP4 192.0.2.7 127.0.0.1 4000 30000\r\nPING\n"),
                         b"ERROR\nUnknown request\n")
        with connect() as sock:  # the client gives up half-way and closes its side
            sock.sendall(b"GET\n")
            sock.shutdown(socket.SHUT_WR)
            self.assertEqual(read_reply(sock), b"ERROR\nIncomplete request\n")

    def test_overlong_request_is_refused(self):
        reply = exchange(b"GET\nhttp://h/" + b"a" * 70000 + b"\n")
        self.assertEqual(reply, b"ERROR\nRequest too long\n")
        self.assertEqual(exchange(b"PING\n"), b"ALIVE\n")

    def test_header_injection_through_the_url_is_refused(self):
        reply = get(origin_url("/page.html") + "\rX-Injected: 1")
        self.assertEqual(reply, b"ERROR\nAddress holds control characters\n")


class PageLines(unittest.TestCase):
    def test_tricky_page_reaches_the_browser_whole(self):
        reply = get(origin_url("/tricky.html"))
        lines = reply.split(b"\n")
        self.assertEqual(lines[:2], [b"OK", b"TRUE"])
        page_lines = lines[2 : lines.index(b"~~~~~~")]
        for line in page_lines:
            self.assertTrue(line)
            self.assertLess(len(line), 511)
            self.assertNotIn(b"~~~~~~", line)
            self.assertFalse(line.startswith(b"TRUE") or line.startswith(b"FALSE"), line)
        # The page text arrives whole, rewritten for the browser: line breaks
        # are blanks, NUL and the invalid byte are gone, and the long word is
        # parted by tags the browser drops.
        # (Bytes that are not UTF-8 make the page read as windows-1252: the
        # 255 byte is a y with diaeresis, shown as "y".)
        flag, page = page_of(reply)
        self.assertEqual(flag, "TRUE")
        self.assertTrue(page.startswith(b"<TITLE>tricky</TITLE>"), page[:40])
        self.assertEqual(shown(page), b"TRUE at a line start FALSE too " + b"~" * 13 + b" ~~~~~~ " + b"x" * 2000
                         + b" OK ERROR nul yend")

    def test_a_reply_larger_than_the_socket_holds_reaches_a_slow_reader_whole(self):
        # Once the reply has begun, the client pauses: the server's writes
        # stop short when the socket is full, and the reply must go on from
        # there each time the socket has room again.
        proc, port, log_path = start_proxy(["--max-page", "8388608"])
        try:
            with connect(port) as sock:
                # Normalising 28,000 links under the sanitizers on a loaded
                # machine may take longer than the usual read timeout.
                sock.settimeout(120)
                sock.sendall(("GET\n%s\n" % origin_url("/many-links.html")).encode())
                data = bytearray(sock.recv(65536))
                time.sleep(1)
                while data and b"~~~~~~" not in data[-70000:]:
                    chunk = sock.recv(65536)
                    if not chunk:
                        break
                    data += chunk
                data = bytes(data)
        finally:
            proc.kill()
            proc.wait()
            os.unlink(log_path)
        self.assertGreater(len(data), 4 * 1024 * 1024)
        lines = data.split(b"\n")
        self.assertEqual(lines[:2], [b"OK", b"TRUE"])
        page = b"".join(lines[2 : lines.index(b"~~~~~~")])
        self.assertEqual(re.findall(rb"<A HREF=[^>]*>([^<]*)</A>", page), MANY_LINKS)

    def test_plain_text_is_shown_as_text(self):
        self.assertEqual(page_of(get(origin_url("/plain.txt")))[1], b"<TITLE>plain.txt</TITLE>a< b<BR>< /HTML>")

    def test_image_becomes_a_short_page_naming_it(self):
        page = page_of(get(origin_url("/image.png")))[1]
        self.assertIn(b"image/png data (5004 bytes)", page)

    def test_page_too_large_is_an_error(self):
        self.assertEqual(get(origin_url("/big")), b"ERROR\nPage too large (over 1 MB)\n")


class Fetching(unittest.TestCase):
    def test_redirects_are_followed(self):
        self.assertEqual(page_of(get(origin_url("/redirect?3")))[1], b"<B>arrived</B>")

    def test_redirect_loop_ends_with_an_error(self):
        self.assertEqual(get(origin_url("/loop")), b"ERROR\nToo many redirects\n")
        self.assertEqual(get(origin_url("/redirect?6")), b"ERROR\nToo many redirects\n")

    def test_file_scheme_is_refused_directly_and_by_redirect(self):
        refused = b"ERROR\nOnly http and https addresses are allowed\n"
        self.assertEqual(get("file:///etc/passwd"), refused)
        self.assertEqual(get("http://file:///etc/passwd"), refused)
        self.assertEqual(get(origin_url("/to-file")), b"ERROR\nRefused: only http and https are allowed\n")

    def test_compressed_pages_are_unpacked(self):
        page = page_of(get(origin_url("/gzip.html")))[1]
        self.assertEqual(page.replace(b"</IMG>", b""), b"<B>" + b"unpacked" * 100 + b"</B>")

    def test_http_proxy_variable_is_honoured(self):
        proc, port, log_path = start_proxy(extra_env={"http_proxy": origin_url("")})
        try:
            page = page_of(get("http://wexa-test.invalid/x", port=port))[1]
            self.assertEqual(page, b"proxied[http://wexa-test.invalid/x]")
        finally:
            proc.kill()
            proc.wait()
            os.unlink(log_path)

    def test_https_typed_after_the_browsers_prefix_is_used(self):
        # The local server speaks plain HTTP, so a TLS attempt must fail.
        reply = get("http://https://127.0.0.1:%d/page.html" % ORIGIN.server_address[1])
        self.assertEqual(reply, b"ERROR\nSecure connection failed with 127.0.0.1\n")

    @unittest.skipUnless(shutil.which("openssl"), "needs the openssl tool to make a certificate")
    def test_untrusted_certificate_is_refused(self):
        with tempfile.TemporaryDirectory() as folder:
            key, cert = os.path.join(folder, "key.pem"), os.path.join(folder, "cert.pem")
            subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                            "-days", "1", "-subj", "/CN=127.0.0.1"], check=True, capture_output=True)
            server = OriginServer(("127.0.0.1", 0), Origin)
            context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            context.load_cert_chain(cert, key)
            server.socket = context.wrap_socket(server.socket, server_side=True)
            threading.Thread(target=server.serve_forever, daemon=True).start()
            try:
                reply = get("https://127.0.0.1:%d/page.html" % server.server_address[1])
            finally:
                server.shutdown()
                server.server_close()
        self.assertEqual(reply, b"ERROR\nCertificate problem with 127.0.0.1\n")

    def test_cookies_are_kept_across_requests_and_workers(self):
        get(origin_url("/setcookie"))
        replies = []
        threads = [threading.Thread(target=lambda: replies.append(get(origin_url("/showcookie")))) for _ in range(8)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        self.assertEqual(len(replies), 8)
        for reply in replies:
            self.assertEqual(page_of(reply)[1], b"cookie[session=abc123]")

    def test_cache_control_decides_the_flag(self):
        for value, flag in [("no-store", "FALSE"), ("no-cache", "FALSE"), ("private, max-age=60", "FALSE"),
                            ("public, max-age=60", "TRUE")]:
            self.assertEqual(page_of(get(origin_url("/cache?" + urllib.parse.quote(value))))[0], flag, value)

    def test_http_error_status_is_an_error_line(self):
        self.assertEqual(get(origin_url("/nothing-here")), b"ERROR\nHTTP 404 Not Found\n")

    def test_connection_refused_is_an_error_line(self):
        closed = socket.socket()
        closed.bind(("127.0.0.1", 0))
        port = closed.getsockname()[1]
        closed.close()
        self.assertEqual(get("http://127.0.0.1:%d/" % port), b"ERROR\nConnection refused by 127.0.0.1\n")


class Language(unittest.TestCase):
    def test_content_language_picks_the_romanisation(self):
        self.assertIn(b"Gruesse aus Muenchen", page_of(get(origin_url("/greeting.html?de-DE")))[1])
        self.assertIn(b"Grusse aus Munchen", page_of(get(origin_url("/greeting.html")))[1])


class Tokens(unittest.TestCase):
    """Links and forms of a page come back from the browser as tokens."""

    def test_link_tokens_lead_to_their_targets_whatever_is_in_front(self):
        page = page_of(get(origin_url("/links.html")))[1]
        hrefs = re.findall(rb"<A HREF=([^>]+)>", page)
        self.assertEqual(len(hrefs), 3)  # the mail link is text
        self.assertIn(b"mail", page)
        short, sealed, stored = (h.decode() for h in hrefs)
        self.assertTrue(short.startswith("~~Lh") and sealed.startswith("~~Lk") and stored.startswith("~~Lt"),
                        hrefs)
        self.assertLessEqual(len(sealed), 149)
        # The browser glues a link to the folder of the page it came from.
        self.assertEqual(page_of(get("http://127.0.0.1:1/some/dir/" + short))[1],
                         b"<TITLE>Page</TITLE><B>Hello</B>&nbspworld")
        for token in (sealed, stored):
            self.assertEqual(page_of(get(token, "REFRESH"))[1], b"<TITLE>Page</TITLE><B>Hello</B>&nbspworld")
        self.assertEqual(get("http://127.0.0.1/dir/" + sealed[:-3] + "AAA"),
                         b"ERROR\nThis link has expired; reload the page\n")

    def test_unknown_tokens_are_errors_the_user_can_act_on(self):
        self.assertEqual(get("http://127.0.0.1/dir/~~Ltzzzz"), b"ERROR\nThis link has expired; reload the page\n")
        self.assertEqual(form("FORM-POST", "http://~~Fzzzz", []), b"ERROR\nThis form has expired; reload the page\n")


FIELDS = [("name", "Jo Smith"), ("agree", ""), ("", ""), ("sym", "a&b=c%d+e?f#g"), ("tilde", "~~~"),
          ("accent", "caf\xe9")]


class Forms(unittest.TestCase):
    def test_form_get_sends_the_pairs_as_the_query(self):
        flag, page = page_of(form("FORM-GET", origin_url("/echo?old=1"), FIELDS))
        self.assertEqual(flag, "FALSE")  # a form reply, even if the server allows caching
        query = re.fullmatch(rb"query\[(.*)\]", shown(page)).group(1).decode()
        self.assertEqual(urllib.parse.parse_qsl(query, keep_blank_values=True, encoding="latin-1"), FIELDS)

    def test_form_post_sends_the_pairs_as_a_body(self):
        flag, page = page_of(form("FORM-POST", origin_url("/echo"), FIELDS))
        self.assertEqual(flag, "FALSE")
        match = re.fullmatch(rb"type\[(.*)\] body\[(.*)\]", shown(page))
        self.assertEqual(match.group(1), b"application/x-www-form-urlencoded")
        pairs = urllib.parse.parse_qsl(match.group(2).decode(), keep_blank_values=True, encoding="latin-1")
        self.assertEqual(pairs, FIELDS)

    def test_form_with_no_fields(self):
        self.assertEqual(shown(page_of(form("FORM-POST", origin_url("/echo"), []))[1]),
                         b"type[application/x-www-form-urlencoded] body[]")


class Clients(unittest.TestCase):
    def test_silent_and_slow_clients_do_not_stop_others(self):
        silent = connect()
        slow = connect()
        request = ("GET\n%s\n" % origin_url("/page.html")).encode()
        started = time.time()
        slow.sendall(request[:5])
        # Others are served while both are connected.
        for _ in range(5):
            self.assertTrue(get(origin_url("/page.html")).startswith(b"OK\nTRUE\n"))
        self.assertLess(time.time() - started, READ_TIMEOUT)
        slow.sendall(request[5:])
        self.assertTrue(read_reply(slow).startswith(b"OK\nTRUE\n"))
        slow.close()
        # The silent one is told and dropped once its time is up.
        silent.settimeout(READ_TIMEOUT + 5)
        self.assertEqual(read_reply(silent), b"ERROR\nRequest not received in time\n")
        self.assertGreaterEqual(time.time() - started, READ_TIMEOUT - 0.2)
        self.assertEqual(silent.recv(100), b"")  # closed by the server
        silent.close()

    def test_running_out_of_descriptors_neither_spins_nor_stops_the_server(self):
        proc, port, log_path = start_proxy(["--read-timeout", "1"], max_files=32)
        clients = []
        try:
            # More silent clients than descriptors: the kernel queues them.
            clients = [socket.create_connection(("127.0.0.1", port)) for _ in range(40)]
            time.sleep(0.5)
            before = cpu_ticks(proc.pid)
            time.sleep(1)
            # A paused server sleeps; one spinning on its listening socket
            # burns a core (a third of one even on a loaded machine).
            self.assertLess(cpu_ticks(proc.pid) - before, os.sysconf("SC_CLK_TCK") // 10)
            for sock in clients:
                sock.close()
            deadline = time.time() + 15
            while time.time() < deadline:
                try:
                    if exchange(b"PING\n", port) == b"ALIVE\n":
                        break
                except OSError:
                    pass
                time.sleep(0.2)
            self.assertEqual(exchange(b"PING\n", port), b"ALIVE\n")
        finally:
            for sock in clients:
                sock.close()
            proc.kill()
            proc.wait()
            os.unlink(log_path)

    def test_clients_beyond_the_connection_limit_wait_their_turn(self):
        proc, port, log_path = start_proxy(["--read-timeout", "1", "--max-connections", "3"])
        silent = []
        try:
            silent = [socket.create_connection(("127.0.0.1", port)) for _ in range(3)]
            replies = []
            waiting = threading.Thread(target=lambda: replies.append(get(origin_url("/page.html"), port=port)))
            waiting.start()
            time.sleep(0.3)
            self.assertEqual(replies, [])  # no room yet, and no refusal either
            for sock in silent:
                self.assertEqual(read_reply(sock), b"ERROR\nRequest not received in time\n")
                sock.close()
            waiting.join(10)
            self.assertEqual(len(replies), 1)
            self.assertTrue(replies[0].startswith(b"OK\nTRUE\n"))
        finally:
            for sock in silent:
                sock.close()
            proc.kill()
            proc.wait()
            os.unlink(log_path)

    def test_many_clients_at_once(self):
        results = []

        def client():
            results.append(get(origin_url("/page.html")).startswith(b"OK\nTRUE\n"))

        threads = [threading.Thread(target=client) for _ in range(40)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        self.assertEqual(results, [True] * 40)


class Logging(unittest.TestCase):
    def test_each_request_logs_one_line(self):
        get(origin_url("/page.html?logged"))
        time.sleep(0.1)
        with open(LOG_PATH) as f:
            log = f.read()
        self.assertRegex(log, r"\d\d:\d\d:\d\d GET http://127\.0\.0\.1:\d+/page\.html\?logged OK TRUE \d+ bytes \d+ ms")


class DemoSite(unittest.TestCase):
    """The offline demo site, browsed through the proxy."""

    @classmethod
    def setUpClass(cls):
        script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "demo", "demosite.py")
        cls.site = subprocess.Popen([sys.executable, script, "0"], stdout=subprocess.PIPE, text=True)
        line = cls.site.stdout.readline()
        cls.base = re.search(r"http://127\.0\.0\.1:\d+", line).group(0)

    @classmethod
    def tearDownClass(cls):
        cls.site.terminate()
        cls.site.wait()
        cls.site.stdout.close()

    def test_pages_are_served_with_links_for_the_port_in_use(self):
        flag, page = page_of(get(self.base + "/links.html"))
        self.assertEqual(flag, "TRUE")
        # The link is a token; glued to the page's folder it still leads there.
        token = re.search(rb"<A HREF=([^>]+)>the tables page</A>", page).group(1).decode()
        self.assertIn(b"<TITLE>Tables and lists</TITLE>", page_of(get(self.base + "/" + token))[1])

    def test_full_link_glued_to_the_folder_still_arrives(self):
        page = page_of(get(self.base + "/sub/deeper/" + self.base + "/sub/one.html"))[1]
        self.assertIn(b"<TITLE>One folder down</TITLE>", page)

    def test_nothing_outside_the_site_is_served(self):
        self.assertEqual(get(self.base + "/../demosite.py"), b"ERROR\nHTTP 404 Not Found\n")

    def test_post_form_answer_shows_exactly_what_was_sent(self):
        fields = [("gift", ""), ("newsletter", "yes"), ("name", "Ada  <b>&nbsp;"), ("colour", "green")]
        flag, page = page_of(form("FORM-POST", self.base + "/submit", fields))
        self.assertEqual(flag, "FALSE")
        self.assertIn(b"Method: <B>POST</B>", page)
        self.assertIn(b"Content type: <B>application/x-www-form-urlencoded</B>", page)
        self.assertIn(b"<LI>[gift] = []", page)
        self.assertIn(b"<LI>[name] = [Ada %20%3Cb%3E%26nbsp;]", page)
        self.assertIn(b"<LI>[colour] = [green]", page)

    def test_get_form_answer_shows_the_query(self):
        page = page_of(form("FORM-GET", self.base + "/search", [("q", "light house")]))[1]
        self.assertIn(b"Method: <B>GET</B>", page)
        self.assertIn(b"Raw data (13 bytes): q=light+house", shown(page))
        self.assertIn(b"<LI>[q] = [light house]", page)


    def test_news_article_offers_its_reader_view_and_back(self):
        page = page_of(get(self.base + "/news.html"))[1]
        first = re.match(rb"<TITLE>[^<]*</TITLE><A HREF=([^>]+)>Reader view</A>", page)
        self.assertIsNotNone(first, page[:200])
        self.assertIn(b"Most read", page)
        reader = page_of(get(self.base + "/" + first.group(1).decode()))[1]
        back = re.match(rb"<TITLE>[^<]*</TITLE><A HREF=([^>]+)>Full page</A>", reader)
        self.assertIsNotNone(back, reader[:200])
        self.assertIn(b"The harbour council voted on Tuesday night", shown(reader))
        for left in (b"Most read", b"Share this story", b"Harbour Watcher", b"Cookie settings"):
            self.assertNotIn(left, reader)
        self.assertIn(b"Reader view</A>", page_of(get(self.base + "/" + back.group(1).decode()))[1])

    def test_with_reader_by_default_the_article_comes_as_its_reader_page(self):
        proc, port, log_path = start_proxy(["--reader"])
        try:
            page = page_of(get(self.base + "/news.html", port=port))[1]
            self.assertRegex(page, rb"^<TITLE>[^<]*</TITLE><A HREF=[^>]+>Full page</A>")
            self.assertNotIn(b"Most read", page)
            # A page with no article comes in full, with no view link.
            index = page_of(get(self.base + "/index.html", port=port))[1]
            self.assertNotIn(b"Full page</A>", index)
            self.assertNotIn(b"Reader view</A>", index)
        finally:
            proc.terminate()
            proc.wait()
            os.unlink(log_path)


def sanitizer_build(binary):
    """Whether binary was built with AddressSanitizer (and so LeakSanitizer)."""
    linked = subprocess.run(["ldd", binary], capture_output=True, text=True).stdout
    return "libasan" in linked


class Lifecycle(unittest.TestCase):
    def test_no_memory_is_lost_after_refused_and_failed_fetches(self):
        # LeakSanitizer looks for lost memory when the server exits, and
        # fails the exit when it finds any.
        if not sanitizer_build(SERVER_BINARY):
            self.skipTest("LeakSanitizer is only in the sanitizer build")
        closed = socket.socket()
        closed.bind(("127.0.0.1", 0))
        refused_port = closed.getsockname()[1]
        closed.close()
        proc, port, log_path = start_proxy(["--workers", "1"], extra_env={"ASAN_OPTIONS": "detect_leaks=1"})
        try:
            self.assertEqual(page_of(get(origin_url("/setcookie"), port=port))[1], b"set")
            for _ in range(3):
                self.assertEqual(get("http://127.0.0.1:%d/" % refused_port, port=port),
                                 b"ERROR\nConnection refused by 127.0.0.1\n")
                self.assertEqual(get("http://127.0.0.1:99999/", port=port), b"ERROR\nMalformed address\n")
            self.assertEqual(page_of(get(origin_url("/showcookie"), port=port))[1], b"cookie[session=abc123]")
            proc.send_signal(signal.SIGTERM)
            status = proc.wait(timeout=30)
            with open(log_path, errors="replace") as f:
                log = f.read()
            self.assertNotIn("LeakSanitizer", log)
            self.assertEqual(status, 0)
        finally:
            if proc.poll() is None:
                proc.kill()
                proc.wait()
            os.unlink(log_path)

    def test_terminate_stops_the_server_promptly(self):
        proc, port, log_path = start_proxy()
        try:
            self.assertEqual(exchange(b"PING\n", port), b"ALIVE\n")
            proc.send_signal(signal.SIGTERM)
            self.assertEqual(proc.wait(timeout=10), 0)
        finally:
            if proc.poll() is None:
                proc.kill()
                proc.wait()
            os.unlink(log_path)


if __name__ == "__main__":
    SERVER_BINARY = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
