"""End to end with pages as real sites write them: the real wexa in tmux at
80x24, the real wexapserver on 127.0.0.1:30000 normalising the pages, and
two local web servers (two ports of 127.0.0.1, so two different hosts to the
browser) that record every request they receive.

The tests follow every kind of link (absolute, root-relative, "../", with a
query string, to the other host), submit a form with hidden fields and a
text area and check the exact pairs the web server received, and log in to
see a page that needs the session cookie.

Usage: test_real_pages.py /path/to/wexa /path/to/wexapserver
"""

import http.server
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import unittest
import urllib.parse

from tmuxterm import TmuxTerm, poll

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "proxy"))
import origin  # noqa: E402  (the proxy tests' web server parts)

WEXA = WEXAPSERVER = None
HERE = os.path.dirname(os.path.abspath(__file__))
START_PAGE = os.path.join(HERE, "..", "..", "shell", "startpage", "wexa.html")

SITE_PORT = OTHER_PORT = 0


def page(title, body):
    """A page as sites write them: doctype, head with scripts and styles,
    lower-case tags, quoted attributes."""
    return ("""<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8"><title>%s</title>
<style>body { margin: 0 } .nav li { display: inline }</style>
<script>var tracker = {id: 7}; if (1 < 2) { console.log("<b>x</b>"); }</script>
</head><body><div class="wrap">%s</div></body></html>""" % (title, body)).encode("utf-8")


def index_page():
    return page("Link index", """
<h1>Links of every kind</h1>
<ul class="links">
  <li><a href="http://127.0.0.1:%(site)d/dir/absolute.html">absolute link</a></li>
  <li><a href="/root.html">root-relative link</a></li>
  <li><a href="../up.html">link one folder up</a></li>
  <li><a href="search.html?q=tide+times&amp;page=2">query link</a></li>
  <li><a href="http://127.0.0.1:%(other)d/elsewhere.html">other host link</a></li>
</ul>
<p hidden>a hidden paragraph</p>""" % {"site": SITE_PORT, "other": OTHER_PORT})


FORM_PAGE = page("Contact form", """
<h1>Write to us</h1>
<form action="/send" method="post">
  <input type="hidden" name="csrf" value="a b=c">
  <p><label>Subject <input type="text" name="subject" value="Hello world"></label></p>
  <p><label>Name <input type="text" name="name"></label></p>
  <p><label>Message<br><textarea name="message" rows="4">Line one
Line two</textarea></label></p>
  <p><select name="topic"><option value="first choice">First</option>
     <option value="second choice" selected>Second</option></select></p>
  <p><label><input type="checkbox" name="copy" value="yes"> Send me a copy</label></p>
  <p><button type="submit" name="action" value="send">Send message</button></p>
</form>""")

LOGIN_PAGE = page("Sign in", """
<h1>Members</h1>
<form method="post" action="/login">
  <input type="hidden" name="next" value="/account">
  <div>User <input type="text" name="user" autocomplete="username"></div>
  <div>Password <input type="password" name="password"></div>
  <div><input type="submit" value="Sign in"></div>
</form>""")


class Site(origin.BodySender, http.server.BaseHTTPRequestHandler):
    """Both web servers: every request is recorded as (method, path, body)."""

    protocol_version = "HTTP/1.1"
    requests = []
    lock = threading.Lock()

    def log_message(self, *args):
        pass

    def record(self, body=b""):
        with Site.lock:
            Site.requests.append((self.command, self.server.server_address[1], self.path, body))

    def send(self, body, status=200, headers=()):
        self.send_body(body, "text/html; charset=utf-8", status, headers)

    def do_GET(self):
        self.record()
        path = urllib.parse.urlsplit(self.path).path
        titles = {"/dir/absolute.html": "Absolute target", "/root.html": "Root target", "/up.html": "Up target",
                  "/dir/search.html": "Search results", "/elsewhere.html": "Other host page"}
        if path == "/dir/index.html":
            self.send(index_page())
        elif path in titles:
            self.send(page(titles[path], "<p>You reached %s.</p>" % path))
        elif path == "/dir/form.html":
            self.send(FORM_PAGE)
        elif path == "/login.html":
            self.send(LOGIN_PAGE)
        elif path == "/account":
            if "session=s3cr3t" in self.headers.get("Cookie", ""):
                self.send(page("Your account", "<p>Welcome back, <b>ada</b>.</p>"))
            else:
                self.send(page("Not signed in", "<p>Please sign in first.</p>"))
        else:
            self.send(page("Missing", "<p>No such page</p>"), status=404)

    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        self.record(body)
        if self.path == "/send":
            self.send(page("Message sent", "<p>Thank you.</p>"))
        elif self.path == "/login":
            fields = dict(urllib.parse.parse_qsl(body.decode()))
            if fields.get("user") == "ada" and fields.get("password") == "pw42":
                self.send_response(303)
                self.send_header("Location", fields.get("next", "/"))
                self.send_header("Set-Cookie", "session=s3cr3t; Path=/; HttpOnly")
                self.send_header("Content-Length", "0")
                self.end_headers()
            else:
                self.send(page("Sign-in failed", "<p>Wrong password.</p>"))
        else:
            self.send(page("Missing", "<p>No such form</p>"), status=404)


def serve():
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Site)
    server.daemon_threads = True
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def answers_ping(port=30000):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=1) as s:
            s.settimeout(2)
            s.sendall(b"PING\n")
            return s.recv(64).startswith(b"ALIVE")
    except OSError:
        return False


def port_free(port=30000):
    with socket.socket() as s:
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        try:
            s.bind(("127.0.0.1", port))
            return True
        except OSError:
            return False


class RealPages(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        global SITE_PORT, OTHER_PORT
        cls.site = serve()
        cls.other = serve()
        SITE_PORT = cls.site.server_address[1]
        OTHER_PORT = cls.other.server_address[1]
        if not poll(port_free, 30):
            raise RuntimeError("127.0.0.1:30000 is taken by another program")
        cls.proxy = subprocess.Popen([WEXAPSERVER, "--port", "30000"], stderr=subprocess.DEVNULL)
        if not poll(answers_ping, 10):
            cls.tearDownClass()
            raise RuntimeError("wexapserver did not start on 127.0.0.1:30000")

    @classmethod
    def tearDownClass(cls):
        cls.proxy.terminate()
        cls.proxy.wait(timeout=10)
        for server in (cls.site, cls.other):
            server.shutdown()
            server.server_close()

    def setUp(self):
        with Site.lock:
            Site.requests.clear()
        self.dir = tempfile.mkdtemp(prefix="wexa-real-pages-")
        os.mkdir(os.path.join(self.dir, "cache"))
        shutil.copy(START_PAGE, os.path.join(self.dir, "cache", "0.html"))
        with open(os.path.join(self.dir, ".proxy.conf"), "wb") as f:
            f.write(b"127.0.0.1" + b"\0" * 9)
        self.term = TmuxTerm([WEXA], cwd=self.dir)
        self.assertTrue(self.term.wait_for(lambda s: "Wexa" in s[17]), self.dump())
        self.term.send("Enter")
        self.wait_title("Wexa start page")

    def tearDown(self):
        self.term.close()
        shutil.rmtree(self.dir, ignore_errors=True)

    # --- helpers ------------------------------------------------------------------

    def dump(self):
        return "\n".join(self.term.screen())

    def wait_title(self, title, timeout=15.0):
        self.assertTrue(self.term.wait_for(lambda s: title in s[1], timeout), "title %r:\n%s" % (title, self.dump()))

    def wait_help(self, text):
        self.assertTrue(self.term.wait_for(lambda s: text in s[23]), "help %r:\n%s" % (text, self.dump()))

    def wait_global(self):
        self.assertTrue(self.term.wait_for(lambda s: "GLOBAL" in s[23]), self.dump())

    def page_text(self):
        return "\n".join(self.term.screen()[4:21])

    def open(self, port, path):
        self.term.send("F2")
        self.assertTrue(self.term.wait_for(lambda s: any("Enter URL" in l for l in s)), self.dump())
        self.term.type("127.0.0.1:%d%s" % (port, path))
        self.term.send("Enter")

    def requests(self):
        with Site.lock:
            return list(Site.requests)

    def wait_request(self, method, path):
        """Waits for a request the web servers received; returns (port, body)."""
        def find():
            for m, port, p, body in self.requests():
                if m == method and p == path:
                    return port, body
            return None
        found = poll(find, 15)
        self.assertTrue(found, "%s %s not received; got %r" % (method, path, self.requests()))
        return found

    # --- tests --------------------------------------------------------------------

    def test_every_kind_of_link_is_followed(self):
        self.open(SITE_PORT, "/dir/index.html")
        self.wait_title("Link index")
        text = self.page_text()
        self.assertIn("absolute link", text)
        self.assertNotIn("hidden paragraph", text)
        self.assertNotIn("tracker", text)
        cases = [  # Tabs after ESC, title, (port, request path) the web server must receive
            (0, "Absolute target", (SITE_PORT, "/dir/absolute.html")),
            (1, "Root target", (SITE_PORT, "/root.html")),
            (2, "Up target", (SITE_PORT, "/up.html")),
            (3, "Search results", (SITE_PORT, "/dir/search.html?q=tide+times&page=2")),
            (4, "Other host page", (OTHER_PORT, "/elsewhere.html")),
        ]
        for tabs, title, (port, path) in cases:
            with self.subTest(title=title):
                self.term.send("Escape")
                self.wait_help("FOLLOW LINK")
                self.term.send(*(["Tab"] * tabs + ["Enter"]))
                self.wait_title(title)
                got_port, _ = self.wait_request("GET", path)
                self.assertEqual(got_port, port)
                self.assertIn("You reached", self.page_text())
                self.wait_global()
                self.term.send("Left")  # back to the index, from the browser's cache
                self.wait_title("Link index")

    def test_form_sends_hidden_fields_text_area_and_choices_as_a_desktop_browser_does(self):
        self.open(SITE_PORT, "/dir/form.html")
        self.wait_title("Contact form")
        # The subject field is first: its edit loop starts with ESC.
        self.term.send("Escape")
        self.wait_help("INS-MODE")
        self.term.send("Tab")  # subject left as it is; on to the name field
        self.term.type("Jo Smith")
        self.term.send("Tab")  # the message (a text area, offered as one line): left as it is
        self.term.send("Tab")  # onto the list
        self.wait_help("UP/DOWN")
        self.term.send("Tab")  # onto the checkbox: left unticked
        self.wait_help("CHECK/UNCHECK")
        self.term.send("Tab")
        self.wait_help("SUBMIT-<Enter>")
        self.term.send("Enter")
        self.wait_title("Message sent")
        _, body = self.wait_request("POST", "/send")
        pairs = urllib.parse.parse_qsl(body.decode(), keep_blank_values=True)
        self.assertEqual(pairs, [("csrf", "a b=c"), ("subject", "Hello world"), ("name", "Jo Smith"),
                                 ("message", "Line one\r\nLine two"), ("topic", "second choice"),
                                 ("action", "send")])

    def test_log_in_and_see_the_page_that_needs_the_cookie(self):
        self.open(SITE_PORT, "/account")
        self.wait_title("Not signed in")
        self.open(SITE_PORT, "/login.html")
        self.wait_title("Sign in")
        self.term.send("Escape")
        self.wait_help("INS-MODE")
        self.term.type("ada")
        self.term.send("Tab")
        self.wait_help("TEXT-<Alphanumeric>")
        self.term.type("pw42")
        self.term.send("Tab")
        self.wait_help("SUBMIT-<Enter>")
        self.term.send("Enter")
        # The sign-in answers with a redirect that sets the cookie; the page
        # it leads to needs the cookie.
        self.wait_title("Your account")
        self.assertIn("Welcome back, ada.", self.page_text())
        _, body = self.wait_request("POST", "/login")
        self.assertEqual(urllib.parse.parse_qsl(body.decode(), keep_blank_values=True),
                         [("next", "/account"), ("user", "ada"), ("password", "pw42")])
        # Later requests carry the cookie too: the account page opened again
        # comes from the browser's cache as it was before signing in; R
        # fetches it anew.
        self.wait_global()
        self.open(SITE_PORT, "/account")
        self.wait_title("Not signed in")
        self.term.send("R")
        self.wait_title("Your account")
        self.assertEqual(sum(1 for r in self.requests() if r[2] == "/account"), 3)


if __name__ == "__main__":
    WEXA = os.path.abspath(sys.argv.pop(1))
    WEXAPSERVER = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
