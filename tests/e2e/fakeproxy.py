"""A scripted stand-in for the proxy server, for end-to-end tests.

It listens on 127.0.0.1 (port 30000 unless told otherwise), reads one request
per connection exactly as the browser sends it, records the request's bytes,
and answers with the reply registered for that request (or an ERROR reply).

A reply is either bytes, sent whole, or a behaviour: a function given the
connection and the proxy, which sends what it likes and returns when it is
done (see close_after, reset_after, drip, silent). A behaviour that waits
should stop once proxy.running is false, so that stop() ends it.
"""

import socket
import struct
import threading
import time

END = b"~~~~~~\n"


def page_reply(html, cacheable=True):
    """An OK reply carrying html, one line per line of html."""
    lines = [line for line in html.split("\n") if line]
    body = "".join(line + "\n" for line in lines).encode("latin-1")
    return b"OK\n" + (b"TRUE\n" if cacheable else b"FALSE\n") + body + END


def error_reply(text):
    return b"ERROR\n" + text.encode("latin-1") + b"\n" + END


def close_after(data):
    """Sends data, then closes the connection at once (an orderly end of the
    stream, wherever data stops)."""
    def behaviour(conn, proxy):
        conn.sendall(data)
        conn.shutdown(socket.SHUT_WR)
    return behaviour


def reset_after(data):
    """Sends data, then resets the connection: closing with a zero linger
    time makes the system send a reset instead of an orderly end."""
    def behaviour(conn, proxy):
        conn.sendall(data)
        time.sleep(0.2)  # let the bytes leave before the reset overtakes them
        conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        conn.close()
    return behaviour


def drip(data, interval=1.0):
    """Sends data one byte every interval seconds, as long as the browser
    keeps the connection open."""
    def behaviour(conn, proxy):
        for i in range(len(data)):
            if not proxy.running:
                return
            conn.sendall(data[i:i + 1])
            if _closed_by_peer(conn, interval):
                return
    return behaviour


def silent(conn, proxy):
    """Never answers; keeps the connection open until the browser closes it
    (or the proxy stops)."""
    while proxy.running:
        if _closed_by_peer(conn, 0.2):
            return


def _closed_by_peer(conn, timeout):
    """Waits up to timeout seconds; true once the peer has closed its end
    (or the connection failed)."""
    conn.settimeout(timeout)
    try:
        return conn.recv(4096) == b""
    except socket.timeout:
        return False
    except OSError:
        return True


def _request_complete(data):
    """True once data holds a whole request of the browser's protocol."""
    lines = data.split(b"\n")
    if len(lines) < 2:
        return False
    command = lines[0]
    if command == b"PING":
        return True
    if command in (b"GET", b"REFRESH"):
        return len(lines) >= 3
    if command in (b"FORM-GET", b"FORM-POST"):
        return data.endswith(b"\n~~~\n")
    return True  # unknown: answer at once


class FakeProxy:
    def __init__(self, port=30000, host="127.0.0.1"):
        self.host, self.port = host, port
        self.replies = {}          # (command, url) -> reply bytes
        self.requests = []         # raw bytes of every request, in order
        self.lock = threading.Lock()
        self.sock = None
        self.thread = None
        self.running = False

    def on(self, command, url, reply):
        self.replies[(command, url)] = reply

    def start(self):
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        try:
            self.sock.bind((self.host, self.port))
        except OSError as e:
            self.sock.close()
            raise RuntimeError(f"cannot listen on {self.host}:{self.port} ({e}); is a proxy server running?")
        self.sock.listen(16)
        self.sock.settimeout(0.2)
        self.running = True
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()
        return self

    def stop(self):
        self.running = False
        if self.thread:
            self.thread.join(timeout=5)
        if self.sock:
            self.sock.close()

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    def _serve(self):
        while self.running:
            try:
                conn, _ = self.sock.accept()
            except socket.timeout:
                continue
            except OSError:
                return
            threading.Thread(target=self._handle, args=(conn,), daemon=True).start()

    def _handle(self, conn):
        with conn:
            conn.settimeout(10)
            data = b""
            try:
                while not _request_complete(data):
                    chunk = conn.recv(4096)
                    if not chunk:
                        break
                    data += chunk
            except OSError:
                pass
            with self.lock:
                self.requests.append(data)
            lines = data.split(b"\n")
            command = lines[0].decode("latin-1") if lines else ""
            if command == "PING":
                reply = b"ALIVE\n"
            else:
                url = lines[1].decode("latin-1") if len(lines) > 1 else ""
                reply = self.replies.get((command, url), error_reply("The fake proxy has no such page"))
            try:
                if callable(reply):
                    reply(conn, self)
                    return
                conn.sendall(reply)
                # Wait for the browser to close its end after reading.
                conn.settimeout(5)
                while conn.recv(4096):
                    pass
            except OSError:
                pass

    def received(self):
        with self.lock:
            return list(self.requests)

    def wait_requests(self, count, timeout=10.0):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if len(self.received()) >= count:
                return True
            time.sleep(0.05)
        return False
