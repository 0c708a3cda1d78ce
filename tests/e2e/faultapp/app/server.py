"""The stand-in's one server on 127.0.0.1:<port>: ping, busy, simulated runs
and a page that says when it is ready."""

import hmac
import json
import os
import secrets
import signal
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

NAME = "tarvo-studio"

PAGE = """<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8"><title>Fault test page</title></head>
<body><h1>Fault test page</h1>
<script>fetch('/api/hello', {cache: 'no-store'});</script>
</body></html>
"""


class Runs:
    """Simulated runs, each in flight until its time is up."""

    def __init__(self):
        self._lock = threading.Lock()
        self._runs = []

    def start(self, tool, seconds):
        with self._lock:
            self._runs.append({"tool": tool, "until": time.monotonic() + seconds})

    def running(self):
        now = time.monotonic()
        with self._lock:
            self._runs = [r for r in self._runs if r["until"] > now]
            return [{"tool": r["tool"]} for r in self._runs]


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *_args):
        pass

    def do_GET(self):
        path = self.path.split("?", 1)[0]
        if path == "/api/ping":
            return self._json(200, {"name": NAME})
        if path == "/api/busy":
            if not self._token_ok():
                return self._json(401, {"detail": "token"})
            return self._json(200, {"running": self.server.runs.running(), "pending": [],
                                    "chats": 0})
        if path == "/api/hello":
            print("page ready", flush=True)
            return self._json(200, {"ok": True})
        if path == "/":
            return self._send(200, "text/html; charset=utf-8", PAGE.encode())
        return self._json(404, {"detail": "not found"})

    def do_POST(self):
        length = int(self.headers.get("Content-Length") or 0)
        raw = self.rfile.read(min(length, 65536)) if length else b""
        if self.path != "/api/call":
            return self._json(404, {"detail": "not found"})
        if not self._token_ok():
            return self._json(401, {"detail": "token"})
        try:
            body = json.loads(raw)
            tool, seconds = str(body["tool"]), float(body.get("seconds", 60))
        except (ValueError, KeyError, TypeError):
            return self._json(400, {"detail": "a run needs a tool"})
        self.server.runs.start(tool, seconds)
        print(f"run {tool} for {seconds:g} s", flush=True)
        return self._json(200, {"ok": True})

    def _token_ok(self):
        given = self.headers.get("X-Studio-Token", "")
        return hmac.compare_digest(given.encode(), self.server.token.encode())

    def _json(self, status, value):
        return self._send(status, "application/json", json.dumps(value).encode())

    def _send(self, status, content_type, data):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(data)))
        self.send_header("Cache-Control", "no-store")
        self.end_headers()
        self.wfile.write(data)


class Server(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, port, token):
        super().__init__(("127.0.0.1", port), Handler)
        self.token = token
        self.runs = Runs()


def write_token(home):
    """Keeps the install's token across restarts, as the real backend does."""
    path = os.path.join(home, "ui.token")
    try:
        with open(path, encoding="utf-8") as f:
            kept = f.read().strip()
        if kept:
            return kept
    except OSError:
        pass
    os.makedirs(home, mode=0o700, exist_ok=True)
    token = secrets.token_hex(16)
    temporary = path + ".tmp"
    with os.fdopen(os.open(temporary, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600), "w") as f:
        f.write(token + "\n")
    os.replace(temporary, path)
    return token


def serve(port):
    home = os.environ.get("TARVO_STUDIO_HOME", "")
    if not home:
        print("TARVO_STUDIO_HOME is not set", file=sys.stderr, flush=True)
        return 2
    stop = threading.Event()
    caught = []

    def on_signal(signum, _frame):
        caught.append(signal.Signals(signum).name)
        stop.set()

    signal.signal(signal.SIGTERM, on_signal)
    signal.signal(signal.SIGINT, on_signal)
    signal.signal(signal.SIGHUP, on_signal)  # ends it too, as it would by default
    try:
        delay = float(os.environ.get("TARVO_FAULT_START_DELAY", "0"))
    except ValueError:
        delay = 0.0
    print(f"fault backend pid {os.getpid()}, listening in {delay:g} s", flush=True)
    if stop.wait(delay):
        return 0
    server = Server(port, write_token(home))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    print(f"fault backend serving on 127.0.0.1:{port}", flush=True)
    while not stop.wait(0.5):
        pass
    # The tests read from this line which signal reached the backend.
    print(f"fault backend {os.getpid()} stopping on {caught[0]}", flush=True)
    server.shutdown()
    server.server_close()
    return 0
