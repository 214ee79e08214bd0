"""Reading one reply of wexapserver the way the browser ends it, shared by
the proxy's test clients."""


def read_reply(sock, reset_ends=False):
    """Reads one reply: after ALIVE, after ERROR and its line, at six "~",
    or at the end of the stream. With reset_ends, a connection reset (the
    server closed with the request unread) ends the reply too; otherwise it
    is raised."""
    data = b""
    while True:
        if data.startswith(b"ALIVE\n"):
            return data
        if data.startswith(b"ERROR\n") and data.count(b"\n") >= 2:
            return data
        if b"~~~~~~" in data:
            return data
        try:
            chunk = sock.recv(65536)
        except ConnectionResetError:
            if reset_ends:
                return data
            raise
        if not chunk:
            return data
        data += chunk
