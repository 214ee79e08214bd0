"""Two wexapserver instances behind HAProxy, end to end.

HAProxy listens on 127.0.0.1:30000 (mode tcp, balance source) and passes each
connection to one of two instances on other loopback ports with a PROXY
protocol header (version 1 to one, version 2 to the other). Both instances
share one secret file, so a sealed link token from either works on both, and
each asks the other on its peer port for stored link tokens and form records
it does not hold. A local web server serves the pages; the client is this
test (as root), a second Unix user (setpriv) and the real wexa in tmux at
80x24.

Usage: test_scaling_e2e.py /path/to/wexa /path/to/wexapserver
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

from tmuxterm import open_start_page, poll

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "proxy"))
import origin  # noqa: E402  (the proxy tests' web server parts)
import replyreader  # noqa: E402  (the proxy tests' reply reader)

WEXA = WEXAPSERVER = None
HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.join(HERE, "..", "..")
START_PAGE = os.path.join(TOP, "shell", "startpage", "wexa.html")
OTHER_CLIENT = os.path.join(TOP, "tests", "proxy", "other_client.py")
BALANCER_PORT = 30000
OTHER_UID = 65534
EXPIRED = b"ERROR\nThis link has expired; reload the page\n"

# Longer than the browser keeps as an inline token, but it compresses well:
# the link comes sealed.
TARGET_PATH = "/target.html?" + "section=harbour-news&" * 10 + "end=1"
INDEX = ('<html><head><title>Harbour index</title></head><body><p>'
         '<a href="%s">Tide tables</a></p></body></html>' % TARGET_PATH).encode()
TARGET = b"<html><head><title>Tide tables</title></head><body><p>High water at noon.</p></body></html>"
# A query that does not compress: its link does not fit even sealed and is
# stored. The page also holds a form with a hidden field; both are kept only
# in the memory of the instance that served the page.
STORED_PATH = "/berths.html?k=" + "".join(hashlib.sha256(b"%d" % i).hexdigest() for i in range(5))
BERTHS = b"<html><head><title>Berths</title></head><body><p>Berth 4 is free.</p></body></html>"
DESK = ('<html><head><title>Harbour desk</title></head><body><p><a href="%s">Free berths</a></p>'
        '<form action="/book" method="post"><input type="hidden" name="ticket" value="T-1138">'
        '<input type="text" name="boat" value=""><input type="submit" value="Book"></form></body></html>'
        % STORED_PATH).encode()
FORM_EXPIRED = b"ERROR\nThis form has expired; reload the page\n"
SEEN = []  # (method, path, body) of each request the site received

ORIGIN = None
INSTANCES = []
BALANCER = None
WORKDIR = None


class Site(origin.BodySender, http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        pages = {"/index.html": INDEX, TARGET_PATH: TARGET, "/desk.html": DESK, STORED_PATH: BERTHS}
        SEEN.append(("GET", self.path, b""))
        self.send_body(pages.get(self.path, b"other"))

    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        SEEN.append(("POST", self.path, body))
        self.send_body(b"<html><head><title>Booked</title></head><body><p>Booked.</p></body></html>")


def site_url(path):
    return "http://127.0.0.1:%d%s" % (ORIGIN.server_address[1], path)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def read_reply(sock):
    return replyreader.read_reply(sock, reset_ends=True)

def exchange(port, request, header=None, timeout=15):
    """One request on a connection of its own; header(sock) gives bytes to send first.
    Returns the reply and the client's own port."""
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as sock:
        if header:
            sock.sendall(header(sock))
        sock.sendall(request)
        return read_reply(sock), sock.getsockname()[1]


def get(url):
    return b"GET\n" + url.encode() + b"\n"


def title_of(reply):
    match = re.search(rb"<TITLE>([^<]*)</TITLE>", reply)
    return match.group(1).decode() if match else None


class Instance:
    """One wexapserver behind the balancer, its log in a file."""

    def __init__(self, name, port, peer_port, other_peer_port, secret):
        self.name, self.port, self.secret = name, port, secret
        self.peer_port, self.other_peer_port = peer_port, other_peer_port
        self.log = os.path.join(WORKDIR, name + ".log")
        self.proc = None
        self.start()

    def start(self):
        env = {k: v for k, v in os.environ.items() if not k.lower().endswith("_proxy")}
        with open(self.log, "ab") as log:
            self.proc = subprocess.Popen([WEXAPSERVER, "--port", str(self.port), "--secret-file", self.secret,
                                          "--proxy-protocol", "--log-level", "debug", "--workers", "4",
                                          "--peer-port", str(self.peer_port),
                                          "--peer", "127.0.0.1:%d" % self.other_peer_port],
                                         stdout=subprocess.DEVNULL, stderr=log, env=env)
        if not poll(lambda: "listening on 127.0.0.1:%d" % self.port in self.text(), 10):
            raise RuntimeError("%s did not start: %s" % (self.name, self.text()))

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.terminate()
            self.proc.wait(timeout=10)

    def running(self):
        return self.proc is not None and self.proc.poll() is None

    def text(self):
        with open(self.log, errors="replace") as f:
            return f.read()


def find_other_python():
    for candidate in (sys.executable, shutil.which("python3", path="/usr/bin:/bin")):
        if candidate and subprocess.run(["setpriv", "--reuid=%d" % OTHER_UID, "--regid=%d" % OTHER_UID,
                                         "--clear-groups", candidate, "-c", "pass"],
                                        capture_output=True).returncode == 0:
            return candidate
    return None


def as_other_user(requests, port=BALANCER_PORT):
    python = find_other_python()
    job = json.dumps({"port": port, "requests": [r.hex() for r in requests]})
    done = subprocess.run(["setpriv", "--reuid=%d" % OTHER_UID, "--regid=%d" % OTHER_UID, "--clear-groups",
                           python, OTHER_CLIENT], input=job, capture_output=True, text=True, timeout=60)
    if done.returncode != 0:
        raise RuntimeError(done.stderr)
    return [bytes.fromhex(r) for r in json.loads(done.stdout)]


def haproxy_binary():
    found = shutil.which("haproxy") or shutil.which("haproxy", path="/usr/sbin:/sbin")
    if found or os.getuid() != 0:
        return found
    # The dependency script installs it; a machine without it gets it here.
    subprocess.run([os.path.join(TOP, "scripts", "deps.sh"), "haproxy"], stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    return shutil.which("haproxy") or shutil.which("haproxy", path="/usr/sbin:/sbin")


def start_balancer(haproxy):
    config = os.path.join(WORKDIR, "haproxy.cfg")
    a, b = INSTANCES
    with open(config, "w") as f:
        f.write("""global
    maxconn 256
defaults
    mode tcp
    timeout connect 2s
    timeout client 60s
    timeout server 60s
    retries 2
    option redispatch
listen wexa
    bind 127.0.0.1:%d
    balance source
    server a 127.0.0.1:%d send-proxy check inter 300ms fall 1 rise 1
    server b 127.0.0.1:%d send-proxy-v2 check inter 300ms fall 1 rise 1
""" % (BALANCER_PORT, a.port, b.port))
    log = open(os.path.join(WORKDIR, "haproxy.log"), "wb")
    proc = subprocess.Popen([haproxy, "-db", "-f", config], stdout=log, stderr=log)
    log.close()
    return proc


def balancer_answers():
    try:
        return exchange(BALANCER_PORT, b"PING\n", timeout=2)[0] == b"ALIVE\n"
    except OSError:
        return False


def setUpModule():
    global ORIGIN, BALANCER, WORKDIR
    haproxy = haproxy_binary()
    if not haproxy:
        raise unittest.SkipTest("HAProxy is not installed and could not be installed (apt-get install haproxy)")
    WORKDIR = tempfile.mkdtemp(prefix="wexa-scaling-e2e-")
    secret = os.path.join(WORKDIR, "secret")
    fd = os.open(secret, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600)
    os.write(fd, os.urandom(32))
    os.close(fd)
    ORIGIN = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Site)
    ORIGIN.daemon_threads = True
    threading.Thread(target=ORIGIN.serve_forever, daemon=True).start()
    ports = {name: (free_port(), free_port()) for name in ("a", "b")}
    INSTANCES.append(Instance("a", ports["a"][0], ports["a"][1], ports["b"][1], secret))
    INSTANCES.append(Instance("b", ports["b"][0], ports["b"][1], ports["a"][1], secret))
    BALANCER = start_balancer(haproxy)
    if not poll(lambda: BALANCER.poll() is not None or balancer_answers(), 15) or BALANCER.poll() is not None:
        with open(os.path.join(WORKDIR, "haproxy.log"), errors="replace") as f:
            raise RuntimeError("HAProxy did not answer on 127.0.0.1:%d: %s" % (BALANCER_PORT, f.read()))


def tearDownModule():
    if BALANCER and BALANCER.poll() is None:
        BALANCER.terminate()
        BALANCER.wait(timeout=10)
    for instance in INSTANCES:
        instance.stop()
    if ORIGIN:
        ORIGIN.shutdown()
        ORIGIN.server_close()
    if WORKDIR:
        shutil.rmtree(WORKDIR, ignore_errors=True)


def serving(url):
    """The instance whose log shows a request for url, and the other one."""
    a, b = INSTANCES
    return (a, b) if url in a.text() else (b, a)


def both_running():
    for instance in INSTANCES:
        if not instance.running():
            instance.start()
    # Back in HAProxy's rotation: its checks see it up within a few hundred ms.
    time.sleep(1.0)


class SealedTokensAcrossInstances(unittest.TestCase):
    def setUp(self):
        both_running()

    def index_through_balancer(self):
        reply, client_port = exchange(BALANCER_PORT, get(site_url("/index.html")))
        self.assertTrue(reply.startswith(b"OK\n") or reply.startswith(b"TRUE\n"), reply[:200])
        [token] = re.findall(rb"<A HREF=(~~L[^>]+)>Tide tables</A>", reply)
        return token.decode(), client_port

    def test_a_token_from_one_instance_works_on_the_other_for_its_owner_only(self):
        token, client_port = self.index_through_balancer()
        self.assertTrue(token.startswith("~~Lk"), token)
        self.assertLessEqual(len(token), 149)
        first, other = serving(site_url("/index.html"))
        # The instance saw the real client: this test's own socket, as root.
        self.assertRegex(first.text(), r"client 127\.0\.0\.1:%d to 127\.0\.0\.1:%d is uid:0\n"
                         % (client_port, BALANCER_PORT))

        # Straight to the other instance, with a PROXY header naming this
        # connection's own two ends: the same user, uid 0.
        reply, direct_port = exchange(other.port, get("http://127.0.0.1/dir/" + token), v1_header)
        self.assertEqual(title_of(reply), "Tide tables", reply[:300])
        self.assertIn("client 127.0.0.1:%d to 127.0.0.1:%d is uid:0" % (direct_port, other.port), other.text())
        self.assertIn(TARGET_PATH, other.text())

        # Another Unix user, through the balancer: the answer for an unknown token.
        [refused] = as_other_user([get("http://127.0.0.1/dir/" + token)])
        self.assertEqual(refused, EXPIRED)
        self.assertRegex(first.text() + other.text(), r"to 127\.0\.0\.1:%d is uid:%d\n" % (BALANCER_PORT, OTHER_UID))
        # Another identity named straight to an instance: refused too.
        reply, _ = exchange(other.port, get("http://127.0.0.1/dir/" + token),
                            lambda sock: b"PROXY TCP4 192.0.2.7 127.0.0.1 4000 30000\r\n")
        self.assertEqual(reply, EXPIRED)
        self.assertIn("client 192.0.2.7:4000 to 127.0.0.1:30000 is addr:192.0.2.7", other.text())

    def test_after_the_first_instance_stops_the_balancer_sends_the_token_to_the_other(self):
        token, _ = self.index_through_balancer()
        first, other = serving(site_url("/index.html"))
        first.stop()
        reply = poll(lambda: (lambda r: r if title_of(r) == "Tide tables" else None)(
            exchange(BALANCER_PORT, get("http://127.0.0.1/dir/" + token))[0]), 15)
        self.assertTrue(reply, "the token did not lead to its page through the other instance")
        self.assertIn(TARGET_PATH, other.text())

    def test_without_a_header_an_instance_closes_the_connection_and_logs_why(self):
        a, _ = INSTANCES
        reply, _ = exchange(a.port, get(site_url("/index.html")))
        self.assertEqual(reply, b"")
        self.assertIn("connection does not begin with a PROXY header; closed", a.text())


def v1_header(sock):
    """The PROXY header a balancer would send for this connection's own two
    ends: the instance finds the same user (uid 0) as through the balancer."""
    mine, theirs = sock.getsockname(), sock.getpeername()
    return b"PROXY TCP4 %s %s %d %d\r\n" % (mine[0].encode(), theirs[0].encode(), mine[1], theirs[1])


def form_post(action, fields):
    text = "FORM-POST\n%s\n%d\n" % (action, len(fields))
    for name, value in fields:
        text += "%s\n%s\n" % (name, value)
    return (text + "\n~~~\n").encode()


class StoredTokensFromPeers(unittest.TestCase):
    """A stored link and a form token from one instance, used on the other
    while the first is up (it asks its peer) and after it stopped."""

    def setUp(self):
        both_running()

    def desk_through_balancer(self):
        """The desk page through the balancer: its link and form tokens, the
        form's text field, the instance that served it (the one whose log
        grew by its URL) and the other."""
        before = [len(instance.text()) for instance in INSTANCES]
        reply, _ = exchange(BALANCER_PORT, get(site_url("/desk.html")))
        self.assertEqual(title_of(reply), "Harbour desk", reply[:300])
        [link] = re.findall(rb"<A HREF=(~~L[^>]+)>Free berths</A>", reply)
        [action] = re.findall(rb"<FORM[^>]* ACTION=(~~F[^ >]+)", reply)
        [field] = re.findall(rb"<INPUT[^>]* NAME=(f[0-9]+)", reply)
        self.assertTrue(link.startswith(b"~~Lt"), link)
        a, b = INSTANCES
        first, other = (a, b) if site_url("/desk.html") in a.text()[before[0]:] else (b, a)
        return link.decode(), action.decode(), field.decode(), first, other

    def test_the_other_instance_asks_the_one_that_served_the_page(self):
        link, action, field, first, other = self.desk_through_balancer()
        self.assertTrue(first.running() and other.running())
        del SEEN[:]
        reply, _ = exchange(other.port, get("http://127.0.0.1/dir/" + link), v1_header)
        self.assertEqual(title_of(reply), "Berths", reply[:300])
        self.assertEqual(SEEN, [("GET", STORED_PATH, b"")])
        self.assertIn("peer 127.0.0.1:%d had the link token's entry" % first.peer_port, other.text())

        del SEEN[:]
        reply, _ = exchange(other.port, form_post("http://" + action, [(field, "Seagull")]), v1_header)
        self.assertEqual(title_of(reply), "Booked", reply[:300])
        self.assertEqual(SEEN, [("POST", "/book", b"ticket=T-1138&boat=Seagull")])
        self.assertIn("peer 127.0.0.1:%d had the form token's entry" % first.peer_port, other.text())

        # Another identity named straight to the other instance: the answer
        # for an unknown token, as on the instance that served the page.
        reply, _ = exchange(other.port, form_post("http://" + action, [(field, "Pirate")]),
                            lambda sock: b"PROXY TCP4 192.0.2.7 127.0.0.1 4000 30000\r\n")
        self.assertEqual(reply, FORM_EXPIRED)
        self.assertEqual(len(SEEN), 1)

    def test_after_the_instance_that_served_the_page_stops_its_form_has_expired(self):
        _, action, field, first, other = self.desk_through_balancer()
        first.stop()
        # The stopped peer refuses the connection at once (the deadlines
        # bound one that does not answer): the reply comes well within the
        # client's timeout.
        reply, _ = exchange(other.port, form_post("http://" + action, [(field, "Seagull")]), v1_header, timeout=5)
        self.assertEqual(reply, FORM_EXPIRED)
        self.assertIn("peer 127.0.0.1:%d gave no answer for a form token; skipped" % first.peer_port,
                      other.text())


class BrowserThroughTheBalancer(unittest.TestCase):
    """The real wexa, its proxy address the balancer's."""

    def setUp(self):
        both_running()
        self.dir, self.term = open_start_page(self, WEXA, START_PAGE, "wexa-scaling-browser-")

    def tearDown(self):
        self.term.close()
        shutil.rmtree(self.dir, ignore_errors=True)

    def dump(self):
        return "\n".join(self.term.screen())

    def test_follow_a_sealed_link_after_the_instance_that_served_the_page_stops(self):
        self.term.send("F2")
        self.assertTrue(self.term.wait_for(lambda s: any("Enter URL" in l for l in s)), self.dump())
        self.term.type("127.0.0.1:%d/index.html" % ORIGIN.server_address[1])
        self.term.send("Enter")
        self.assertTrue(self.term.wait_for(lambda s: "Harbour index" in s[1], 15), self.dump())
        first, other = serving(site_url("/index.html"))
        first.stop()
        self.term.send("Escape")  # Local mode: the link has the focus
        self.assertTrue(self.term.wait_for(lambda s: "FOLLOW LINK" in s[23]), self.dump())
        self.term.send("Enter")
        self.assertTrue(self.term.wait_for(lambda s: "Tide tables" in s[1], 20), self.dump())
        self.assertIn("High water at noon.", "\n".join(self.term.screen()[4:21]))
        self.assertIn(TARGET_PATH, other.text())


if __name__ == "__main__":
    WEXA = os.path.abspath(sys.argv.pop(1))
    WEXAPSERVER = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
