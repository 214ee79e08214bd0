#!/usr/bin/env python3
"""Two users of one wexapserver: what one user's browser received must stay
out of the other's reach. The first user is this process; the second is
other_client.py run as another Unix user (setpriv, which needs root). The
server tells them apart by the Unix user owning each connecting socket.

Both go through the real server to a local web server that records every
request it receives, so a test sees exactly what the second user got the
site to do. Everything listens and connects on 127.0.0.1 only.

Usage: isolation_test.py PATH_TO_WEXAPSERVER
"""

import hashlib
import http.server
import json
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import urllib.parse

from origin import BodySender
from replyreader import read_reply

SERVER_BINARY = None
ORIGIN = None
PROXY = None
OTHER_UID = 65534
OTHER_PYTHON = None  # a Python the other user may run
RECEIVED = []  # (method, path, cookie header, body) of every request the site got
RECEIVED_LOCK = threading.Lock()
# In a password-reset link: long and random enough for a stored token.
RESET_KEY = "".join(hashlib.sha256(b"reset%d" % i).hexdigest() for i in range(3))[:160]
# In a confirmation link: long, but it compresses into a sealed token.
CONFIRM_CODE = "c" * 160
CSRF = "csrf-of-the-first-user"


class Site(BodySender, http.server.BaseHTTPRequestHandler):
    """A site with log-in, an account page holding a password-reset link and
    a money-transfer form with a hidden CSRF field, and a page of its own
    for anyone."""

    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def record(self, body=b""):
        with RECEIVED_LOCK:
            RECEIVED.append((self.command, self.path, self.headers.get("Cookie", ""), body))

    def do_GET(self):
        self.record()
        path, _, query = self.path.partition("?")
        if path == "/login":
            self.send_body(b"signed in", headers=[("Set-Cookie", "session=%s; Path=/" % query)])
        elif path == "/whoami":
            self.send_body(b"cookie[" + self.headers.get("Cookie", "").encode() + b"]")
        elif path == "/account.html":
            self.send_body(('<p><a href="/reset?key=%s">Reset your password</a></p>'
                            '<p><a href="/confirm?code=%s">Confirm your address</a></p>'
                            '<form method=post action="/transfer"><input type=hidden name=csrf value="%s">'
                            '<input name=amount><input type=submit value=Send></form>'
                            % (RESET_KEY, CONFIRM_CODE, CSRF)).encode())
        elif path == "/other.html":
            self.send_body(('<p><a href="/elsewhere?%s">A long link</a></p>'
                            '<form method=post action="/search"><input name=q></form>' % hashlib.sha512(b"other").hexdigest()[:160]).encode())
        else:
            self.send_body(b"page")

    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        self.record(body)
        self.send_body(b"posted")


class SiteServer(http.server.ThreadingHTTPServer):
    daemon_threads = True


def site_url(path):
    return "http://127.0.0.1:%d%s" % (ORIGIN.server_address[1], path)


def received(path_start):
    with RECEIVED_LOCK:
        return [entry for entry in RECEIVED if entry[1].startswith(path_start)]


def get_request(url):
    return b"GET\n" + url.encode("latin-1") + b"\n"


def form_request(action, fields):
    text = "FORM-POST\n%s\n%d\n" % (action, len(fields))
    for name, value in fields:
        text += "%s\n%s\n" % (name, value)
    return (text + "\n~~~\n").encode("latin-1")


def as_me(request):
    with socket.create_connection(("127.0.0.1", PROXY.port), timeout=30) as sock:
        sock.sendall(request)
        return read_reply(sock)


def as_other_user(requests):
    """The replies the second user gets for requests, one connection each."""
    script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "other_client.py")
    job = json.dumps({"port": PROXY.port, "requests": [r.hex() for r in requests]})
    done = subprocess.run(["setpriv", "--reuid=%d" % OTHER_UID, "--regid=%d" % OTHER_UID, "--clear-groups",
                           OTHER_PYTHON, script], input=job, capture_output=True, text=True, timeout=120)
    if done.returncode != 0:
        raise RuntimeError("other_client.py failed: " + done.stderr)
    return [bytes.fromhex(reply) for reply in json.loads(done.stdout)]


def tokens(reply, kind):
    """The stored link (kind "Lt"), sealed link ("Lk") or form ("F") tokens of a page reply."""
    return re.findall(rb"~~" + kind.encode() + rb"[0-9a-zA-Z_-]+", reply)


def base36(number):
    digits = "0123456789abcdefghijklmnopqrstuvwxyz"
    text = ""
    while True:
        number, digit = divmod(number, 36)
        text = digits[digit] + text
        if number == 0:
            return text


def neighbours(token, prefix, reach):
    """Tokens whose ids count down and up from token's by at most reach."""
    own = int(token[len(prefix):].decode(), 36)
    return [prefix + base36(own + step).encode() for step in range(-reach, reach + 1)
            if step != 0 and own + step > 0]


class Proxy:
    def __init__(self):
        env = {k: v for k, v in os.environ.items() if not k.lower().endswith("_proxy")}
        self.log = tempfile.NamedTemporaryFile(prefix="wexapserver-isolation-", suffix=".log", delete=False)
        self.proc = subprocess.Popen([SERVER_BINARY, "--port", "0", "--workers", "4"], stdout=subprocess.DEVNULL,
                                     stderr=self.log, env=env)
        deadline = time.time() + 20
        while time.time() < deadline:
            with open(self.log.name) as f:
                match = re.search(r"listening on 127\.0\.0\.1:(\d+)", f.read())
            if match:
                self.port = int(match.group(1))
                return
            if self.proc.poll() is not None:
                raise RuntimeError("wexapserver exited at start-up")
            time.sleep(0.05)
        self.close()
        raise RuntimeError("wexapserver did not start")

    def close(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        os.unlink(self.log.name)


def find_other_python():
    """A Python interpreter the other user may run, or None."""
    for candidate in (sys.executable, shutil.which("python3", path="/usr/bin:/bin")):
        if not candidate:
            continue
        probe = subprocess.run(["setpriv", "--reuid=%d" % OTHER_UID, "--regid=%d" % OTHER_UID, "--clear-groups",
                                candidate, "-c", "pass"], capture_output=True)
        if probe.returncode == 0:
            return candidate
    return None


def setUpModule():
    global ORIGIN, PROXY, OTHER_PYTHON
    if os.getuid() != 0 or not shutil.which("setpriv"):
        raise unittest.SkipTest("needs root and setpriv to act as a second user")
    OTHER_PYTHON = find_other_python()
    if OTHER_PYTHON is None:
        raise unittest.SkipTest("no Python the second user may run")
    ORIGIN = SiteServer(("127.0.0.1", 0), Site)
    threading.Thread(target=ORIGIN.serve_forever, daemon=True).start()
    PROXY = Proxy()


def tearDownModule():
    if PROXY:
        PROXY.close()
    if ORIGIN:
        ORIGIN.shutdown()
        ORIGIN.server_close()


class TwoUsers(unittest.TestCase):
    def setUp(self):
        with RECEIVED_LOCK:
            RECEIVED.clear()
        # The first user signs in and opens the account page.
        as_me(get_request(site_url("/login?first-user-secret")))
        self.account = as_me(get_request(site_url("/account.html")))
        self.assertTrue(self.account.startswith(b"OK\n"), self.account[:200])
        self.link = tokens(self.account, "Lt")[0]
        self.form = tokens(self.account, "F")[0]
        # The second user gets tokens of its own from another page.
        other = as_other_user([get_request(site_url("/other.html"))])[0]
        self.assertTrue(other.startswith(b"OK\n"), other[:200])
        self.own_link = tokens(other, "Lt")[0]
        self.own_form = tokens(other, "F")[0]

    def test_link_tokens_of_one_user_are_useless_to_another(self):
        # Counting down and up from its own token, and the first user's
        # token itself (seen over a shoulder, or in a log).
        guesses = [self.link] + neighbours(self.own_link, b"~~Lt", 40)
        replies = as_other_user([get_request("http://127.0.0.1/dir/" + g.decode()) for g in guesses])
        for guess, reply in zip(guesses, replies):
            self.assertEqual(reply, b"ERROR\nThis link has expired; reload the page\n", guess)
        self.assertEqual(received("/reset"), [], "the second user reached the password-reset link")
        # Its own token works, and so does the first user's for the first user.
        own = as_other_user([get_request("http://127.0.0.1/dir/" + self.own_link.decode())])[0]
        self.assertTrue(own.startswith(b"OK\n"), own[:200])
        self.assertTrue(as_me(get_request("http://127.0.0.1/dir/" + self.link.decode())).startswith(b"OK\n"))
        self.assertEqual([path for _, path, _, _ in received("/reset")], ["/reset?key=" + RESET_KEY])

    def test_sealed_link_tokens_of_one_user_are_useless_to_another(self):
        [sealed] = tokens(self.account, "Lk")
        reply = as_other_user([get_request("http://127.0.0.1/dir/" + sealed.decode())])[0]
        self.assertEqual(reply, b"ERROR\nThis link has expired; reload the page\n")
        self.assertEqual(received("/confirm"), [], "the second user reached the confirmation link")
        self.assertTrue(as_me(get_request("http://127.0.0.1/dir/" + sealed.decode())).startswith(b"OK\n"))
        self.assertEqual([path for _, path, _, _ in received("/confirm")], ["/confirm?code=" + CONFIRM_CODE])

    def test_forms_of_one_user_cannot_be_replayed_by_another(self):
        guesses = [self.form] + neighbours(self.own_form, b"~~F", 40)
        fields = [("f0", "1000")]  # the amount, as the browser names it
        replies = as_other_user([form_request("http://" + g.decode(), fields) for g in guesses])
        for guess, reply in zip(guesses, replies):
            self.assertEqual(reply, b"ERROR\nThis form has expired; reload the page\n", guess)
        self.assertEqual(received("/transfer"), [], "the second user sent the first user's form")
        # The first user's form goes out with its hidden field and session.
        self.assertTrue(as_me(form_request("http://" + self.form.decode(), fields)).startswith(b"OK\n"))
        [(method, _, cookie, body)] = received("/transfer")
        self.assertEqual(method, "POST")
        self.assertEqual(cookie, "session=first-user-secret")
        self.assertEqual(urllib.parse.parse_qsl(body.decode()), [("csrf", CSRF), ("amount", "1000")])

    def test_cookies_of_one_user_never_go_with_another_users_requests(self):
        [before, login, after] = as_other_user([get_request(site_url("/whoami")),
                                                get_request(site_url("/login?second-user-secret")),
                                                get_request(site_url("/whoami"))])
        self.assertIn(b"cookie[]", before)
        self.assertTrue(login.startswith(b"OK\n"))
        self.assertIn(b"cookie[session=second-user-secret]", after)
        self.assertIn(b"cookie[session=first-user-secret]", as_me(get_request(site_url("/whoami"))))


if __name__ == "__main__":
    SERVER_BINARY = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
