#!/usr/bin/env python3
"""A client of wexapserver for the tests that need a second user: run as
another Unix user (setpriv), it sends requests and prints the replies.

Input on stdin, JSON: {"port": N, "requests": ["<hex of request bytes>", ...]}
Output on stdout, JSON: ["<hex of reply bytes>", ...], one reply per request,
each on a connection of its own, in order. Connects to 127.0.0.1 only.
"""

import json
import socket
import sys

from replyreader import read_reply


def main():
    job = json.load(sys.stdin)
    replies = []
    for request in job["requests"]:
        with socket.create_connection(("127.0.0.1", job["port"]), timeout=30) as sock:
            sock.sendall(bytes.fromhex(request))
            replies.append(read_reply(sock).hex())
    json.dump(replies, sys.stdout)


if __name__ == "__main__":
    main()
